#include "export/exportcommand.h"

#include "base/messages.h"
#include "photolist/addphotos.h"

#include <QElapsedTimer>
#include <QFileInfo>

namespace {

struct TypeName {
    const char* name;
    ExportType type;
};
constexpr TypeName kTypes[] = {
    {"csv", ExportType::Csv},
    {"tsv", ExportType::Tsv},
    {"kml-points", ExportType::KmlPoints},
    {"kml-path", ExportType::KmlPath},
    {"kml-polygon", ExportType::KmlPolygon},
    {"gpx", ExportType::Gpx},
};

// --columns names, one per optional field of kExportFields.
struct ColumnName {
    const char* name;
    int tag;
};
constexpr ColumnName kColumns[] = {
    {"speed", 13}, {"track", 15}, {"imgdir", 17}, {"destbearing", 24}, {"destdist", 26},
};

ExportType typeFromExtension(const QString& output) {
    const QString suffix = QFileInfo(output).suffix().toLower();
    if (suffix == u"tsv")
        return ExportType::Tsv;
    if (suffix == u"kml")
        return ExportType::KmlPoints;
    if (suffix == u"gpx")
        return ExportType::Gpx;
    return ExportType::Csv;
}

// "--name=value" or "--name value"; false when the value is missing.
bool optionValue(const QStringList& arguments, int& i, const QString& name, QString& value) {
    const QString& argument = arguments.at(i);
    if (argument.startsWith(name + u'=')) {
        value = argument.mid(name.size() + 1);
        return true;
    }
    if (i + 1 >= arguments.size())
        return false;
    value = arguments.at(++i);
    return true;
}

bool isOption(const QString& argument, const QString& name) {
    return argument == name || argument.startsWith(name + u'=');
}

// The photos of the inputs, in order: a folder's photos as "添加文件夹" takes them, a name list's
// as the add-files dialog reads one; anything else is one photo (missing ones are reported when
// read). The text of the mistake for an input that yields nothing usable.
std::variant<QList<ExportPhoto>, QString> expandInputs(const QStringList& inputs) {
    QList<ExportPhoto> photos;
    for (const QString& input : inputs) {
        if (input.startsWith(u'@')) {
            const QString list = input.mid(1);
            const std::optional<QStringList> names = nameListPaths(list, true);
            if (!names)
                return QStringLiteral("无效记录文件类型！") + u' ' + list;
            for (const QString& path : *names)
                photos.append({path, false});
        } else if (QFileInfo(input).isDir()) {
            const QStringList paths = folderPhotoPaths(input);
            if (paths.isEmpty())
                return QStringLiteral("未找到可添加的文件！") + u' ' + input;
            for (const QString& path : paths)
                photos.append({path, false});
        } else {
            photos.append({input, false});
        }
    }
    return photos;
}

// Reports each photo without a position as it is read, and progress while err is a terminal.
class CommandProgress final : public IExportProgress {
public:
    CommandProgress(const QList<ExportPhoto>& photos, QTextStream& err, bool terminal)
        : m_photos(photos), m_err(err), m_terminal(terminal) {
        m_sinceShown.start();
    }
    ~CommandProgress() override { clearLine(); }
    CommandProgress(const CommandProgress&) = delete;
    CommandProgress& operator=(const CommandProgress&) = delete;

    void yield() override {}
    bool wantsRowTexts() const override { return false; }
    void photoStarted(int i) override {
        // A terminal redraws at most ten times a second; more only costs time.
        if (m_terminal && (m_sinceShown.elapsed() >= 100 || i + 1 == m_photos.size())) {
            m_err << QStringLiteral("\r正在读取 %1/%2").arg(i + 1).arg(m_photos.size())
                  << Qt::flush;
            m_shown = true;
            m_sinceShown.restart();
        }
    }
    void photoDone(int i, const PhotoReadResult& result) override {
        if (result.status == PhotoReadStatus::Read)
            return;
        ++m_missing;
        clearLine();
        m_err << m_photos.at(i).path << ": " << photoReadReason(result) << Qt::endl;
    }
    int missing() const { return m_missing; }

private:
    void clearLine() {
        if (m_shown)
            m_err << "\r\x1b[K" << Qt::flush;
        m_shown = false;
    }

    const QList<ExportPhoto>& m_photos;
    QTextStream& m_err;
    const bool m_terminal;
    QElapsedTimer m_sinceShown;
    bool m_shown = false;
    int m_missing = 0;
};

void error(QTextStream& err, const QString& text) {
    err << titles::kError << ": " << text << Qt::endl;
}

} // namespace

std::variant<ExportCommand, QString> parseExportCommand(const QStringList& arguments) {
    if (arguments.isEmpty() || arguments.first().isEmpty())
        return QStringLiteral("--export 后须给出输出文件");
    ExportCommand command;
    command.output = arguments.first();
    std::optional<ExportType> type;
    bool optionsEnd = false;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (optionsEnd || !argument.startsWith(QStringLiteral("--"))) {
            command.inputs.append(argument);
        } else if (argument == QStringLiteral("--")) {
            optionsEnd = true;
        } else if (argument == QStringLiteral("--dms")) {
            command.options.dms = true;
        } else if (argument == QStringLiteral("--header")) {
            command.options.header = true;
        } else if (isOption(argument, QStringLiteral("--type"))) {
            QString value;
            if (!optionValue(arguments, i, QStringLiteral("--type"), value))
                return QStringLiteral("--type 后须给出类型");
            const auto* found =
                std::find_if(std::begin(kTypes), std::end(kTypes),
                             [&value](const TypeName& t) { return value == t.name; });
            if (found == std::end(kTypes))
                return QStringLiteral("未知的输出类型：") + value;
            type = found->type;
        } else if (isOption(argument, QStringLiteral("--columns"))) {
            QString value;
            if (!optionValue(arguments, i, QStringLiteral("--columns"), value))
                return QStringLiteral("--columns 后须给出列名");
            for (const QString& name : value.split(u',', Qt::SkipEmptyParts)) {
                const auto* found =
                    std::find_if(std::begin(kColumns), std::end(kColumns),
                                 [&name](const ColumnName& c) { return name.trimmed() == c.name; });
                if (found == std::end(kColumns))
                    return QStringLiteral("未知的列：") + name;
                command.options.columns.append(found->tag);
            }
        } else {
            return QStringLiteral("未知的选项：") + argument;
        }
    }
    command.options.type = type.value_or(typeFromExtension(command.output));
    const ExportOptions& options = command.options;
    if (!isTextExport(options.type) &&
        (options.dms || options.header || !options.columns.isEmpty()))
        return QStringLiteral("--dms、--header 和 --columns 只适用于 csv 和 tsv");
    if (command.inputs.isEmpty())
        return QStringLiteral("未给出照片、文件夹或 @名单文件");
    return command;
}

QString exportUsage() {
    return QStringLiteral(
        "  --export   不显示窗口，按参数顺序读出照片的 GPS 位置，写入一个输出文件\n"
        "             文件夹: 其中的照片，顺序同“添加文件夹”; @名单文件: 每行一个照片名\n"
        "    --type csv|tsv|kml-points|kml-path|kml-polygon|gpx\n"
        "               输出类型 (默认按输出文件的扩展名: .tsv .kml .gpx，其余为 csv)\n"
        "    --dms      经纬度写成 度°分′秒″ (仅 csv/tsv)\n"
        "    --header   第一行写表头 (仅 csv/tsv)\n"
        "    --columns speed,track,imgdir,destbearing,destdist\n"
        "               附加的列，总按此顺序写出 (仅 csv/tsv)\n"
        "             没有照片含位置时不写文件; 不读写 SETTINGS.INI\n"
        "             退出状态: 0 全部照片有位置, 1 部分照片无位置或读取失败, 2 未写入文件\n");
}

int runCommandLineExport(const ExportCommand& command, const codec::CodecFactory& factory,
                         QTextStream& out, QTextStream& err, bool errIsTerminal) {
    const auto expanded = expandInputs(command.inputs);
    if (const auto* mistake = std::get_if<QString>(&expanded)) {
        error(err, *mistake);
        return exportexit::kNothingWritten;
    }
    const auto& photos = std::get<QList<ExportPhoto>>(expanded);

    ExportRead read;
    int missing = 0;
    {
        CommandProgress progress(photos, err, errIsTerminal);
        read = readExportPhotos(factory, photos, command.options, progress);
        missing = progress.missing();
    }
    if (read.codecFailed) {
        error(err, kCoreCallFailed);
        return exportexit::kNothingWritten;
    }
    if (read.photos.isEmpty()) {
        error(err, exportmessages::kNothingRead + QStringLiteral("未写入 ") + command.output);
        return exportexit::kNothingWritten;
    }
    const ExportWriteResult written =
        writeExportFile(command.output, composeExport(command.options, read.photos), read.files);
    if (!written.ok()) {
        error(err, exportWriteFailure(written) + u' ' + command.output);
        return exportexit::kNothingWritten;
    }
    out << QStringLiteral("已导出 %1 张照片的位置到 %2")
               .arg(read.photos.size())
               .arg(command.output);
    if (missing > 0)
        out << QStringLiteral("，%1 张无位置").arg(missing);
    out << Qt::endl;
    return missing > 0 ? exportexit::kSomeMissing : exportexit::kAllRead;
}
