// Fuzz round over the codec: photos of every kind it reads, damaged by a deterministic mutator,
// driven through the calls of both roads. Each batch of inputs runs in a child process, so a
// crash, a sanitizer report or a hang is counted against its input and the round goes on.
//
//   fuzz_codec [--inputs N] [--first N] [--seed S] [--batch N] [--limit-ms MS] [--hang-ms MS]
//              [--failures DIR] [--save-inputs DIR] [--save-seeds DIR]
//
// Fails (exit 1) on any crash, sanitizer report, hang, input slower than the limit, source
// changed, file left behind, or copy reported saved whose GPS ExifTool does not read back as
// written. Input n is the same on every run with the same seed: --first n --inputs 1 replays it.

#include "drive.h"
#include "mutator.h"
#include "seeds.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <optional>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Options {
    qint64 inputs = 2000;
    qint64 first = 0;
    std::uint64_t seed = 1;
    qint64 batch = 200;
    qint64 limitMs = 2000;
    qint64 hangMs = 60000;
    QString failures = QStringLiteral("fuzz-failures");
    QString saveInputs;
    QString saveSeeds;
};

bool parse(const QStringList& arguments, Options& options) {
    for (qsizetype i = 1; i + 1 < arguments.size(); i += 2) {
        const QString& name = arguments[i];
        const QString& value = arguments[i + 1];
        bool ok = true;
        if (name == u"--inputs")
            options.inputs = value.toLongLong(&ok);
        else if (name == u"--first")
            options.first = value.toLongLong(&ok);
        else if (name == u"--seed")
            options.seed = value.toULongLong(&ok);
        else if (name == u"--batch")
            options.batch = value.toLongLong(&ok);
        else if (name == u"--limit-ms")
            options.limitMs = value.toLongLong(&ok);
        else if (name == u"--hang-ms")
            options.hangMs = value.toLongLong(&ok);
        else if (name == u"--failures")
            options.failures = value;
        else if (name == u"--save-inputs")
            options.saveInputs = value;
        else if (name == u"--save-seeds")
            options.saveSeeds = value;
        else
            ok = false;
        if (!ok)
            return false;
    }
    return arguments.size() % 2 == 1 && options.inputs > 0 && options.first >= 0 &&
           options.batch > 0;
}

// What a child reports after each input.
struct Record {
    quint64 input;
    quint32 micros;
    quint8 outcome;
};

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// ExifTool's reading (-n) of the EXIF tags of files, or nothing when it failed.
// A group gets 30 s, one file 10 s, and 2 GiB of address space: ExifTool can loop for minutes on
// a damaged file, and once took the whole machine's memory doing so.
std::optional<QJsonArray> exiftoolJson(const QString& exiftool, const QStringList& files) {
    QProcess process;
    process.setChildProcessModifier([] {
        const rlimit limit{rlim_t(2) << 30, rlim_t(2) << 30};
        ::setrlimit(RLIMIT_AS, &limit);
    });
    // Perl's notes about directories that link in circles are not findings.
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(exiftool,
                  QStringList{QStringLiteral("-j"), QStringLiteral("-n"), QStringLiteral("-q"),
                              QStringLiteral("-q"), QStringLiteral("-EXIF:all")} +
                      files);
    if (!process.waitForFinished(files.size() > 1 ? 30000 : 10000)) {
        process.kill();
        process.waitForFinished();
        return std::nullopt;
    }
    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(process.readAllStandardOutput(), &error);
    if (error.error != QJsonParseError::NoError || !json.isArray())
        return std::nullopt;
    return json.array();
}

// Every file's tags by path, in groups; a group on which ExifTool dies is read file by file, so
// one file it cannot take costs only that file's reading.
std::map<QString, QJsonObject> readExif(const QString& exiftool, const QStringList& files) {
    constexpr qsizetype kGroup = 50;
    std::map<QString, QJsonObject> read;
    const auto keep = [&read](const QJsonArray& array) {
        for (const QJsonValue& value : array)
            read[QDir::cleanPath(value[QStringLiteral("SourceFile")].toString())] =
                value.toObject();
    };
    for (qsizetype i = 0; i < files.size(); i += kGroup) {
        const QStringList group = files.mid(i, kGroup);
        if (const auto array = exiftoolJson(exiftool, group)) {
            keep(*array);
            continue;
        }
        for (const QString& file : group)
            if (const auto array = exiftoolJson(exiftool, {file}))
                keep(*array);
    }
    return read;
}

// Whether ExifTool's reading (-n) of a copy is exactly the position written, altitude included.
bool sameGps(const QJsonObject& tags, const fuzz::Position& p) {
    const auto near = [](double a, double b) { return std::abs(a - b) < 1e-9; };
    const auto value = [&tags](const char* key) { return tags[QLatin1String(key)].toDouble(-999); };
    const auto text = [&tags](const char* key) { return tags[QLatin1String(key)].toString(); };
    const double latitude = value("GPSLatitude") * (text("GPSLatitudeRef") == u"S" ? -1 : 1);
    const double longitude = value("GPSLongitude") * (text("GPSLongitudeRef") == u"W" ? -1 : 1);
    if (!near(latitude, p.latitude()) || !near(longitude, p.longitude()))
        return false;
    if (!p.hasAltitude)
        return !tags.contains(QStringLiteral("GPSAltitude"));
    const int ref = tags[QStringLiteral("GPSAltitudeRef")].toInt(-1);
    return (ref == 0 || ref == 1) && near(value("GPSAltitude") * (ref == 1 ? -1 : 1), p.altitude());
}

class Round {
public:
    Round(const Options& options, std::vector<fuzz::Seed> seeds, const QString& work)
        : m_options(options), m_seeds(std::move(seeds)), m_inputs(work + QStringLiteral("/in/")),
          m_copies(work + QStringLiteral("/out/")), m_sources(work + QStringLiteral("/src/")),
          m_stderr(work + QStringLiteral("/stderr.txt")) {
        QDir().mkpath(m_inputs);
        QDir().mkpath(m_copies);
        QDir().mkpath(m_sources);
        for (const auto& seed : m_seeds)
            m_maps.push_back(fuzz::mapTiff(seed.bytes));
    }

    void describeSeeds() const {
        if (!m_options.saveSeeds.isEmpty())
            QDir().mkpath(m_options.saveSeeds);
        for (std::size_t i = 0; i < m_seeds.size(); ++i) {
            if (!m_options.saveSeeds.isEmpty())
                writeFile(
                    QDir(m_options.saveSeeds).filePath(m_seeds[i].kind + u'.' + m_seeds[i].suffix),
                    m_seeds[i].bytes);
            const auto& entries = m_maps[i].entries;
            const auto gps = std::count_if(entries.begin(), entries.end(),
                                           [](const fuzz::Entry& e) { return e.gps; });
            std::printf("fuzz: seed %-17s %7lld bytes, %zu TIFF blocks, %zu entries (%td GPS)\n",
                        qPrintable(m_seeds[i].kind), qint64(m_seeds[i].bytes.size()),
                        m_maps[i].bases.size(), entries.size(), gps);
        }
    }

    void run() {
        const qint64 end = m_options.first + m_options.inputs;
        constexpr qint64 kProgressEvery = 10000;
        for (qint64 next = m_options.first; next < end;) {
            const qint64 done = runBatch(next, std::min(end, next + m_options.batch));
            if ((done - m_options.first) / kProgressEvery !=
                (next - m_options.first) / kProgressEvery)
                std::printf("fuzz: %lld inputs run, %lld crashes, %lld hangs\n",
                            done - m_options.first, m_crashes, m_hangs);
            next = done;
        }
    }

    int report(const QString& exiftool);

private:
    const fuzz::Seed& seedOf(qint64 input) const {
        return m_seeds[std::size_t(input % qint64(m_seeds.size()))];
    }
    fuzz::Mutant mutantOf(qint64 input) const {
        const std::size_t which = std::size_t(input % qint64(m_seeds.size()));
        return fuzz::mutate(m_seeds[which].bytes, m_maps[which], m_options.seed,
                            std::uint64_t(input));
    }
    QString copyPath(qint64 input) const {
        return m_copies + QString::number(input) + u'.' + seedOf(input).suffix;
    }
    // Where the input of a saved copy is kept, for ExifTool to read beside the copy.
    QString sourcePath(qint64 input) const {
        return m_sources + QString::number(input) + u'.' + seedOf(input).suffix;
    }

    [[noreturn]] void child(int out, qint64 first, qint64 end);
    qint64 runBatch(qint64 first, qint64 end);
    void failed(qint64 input, const QString& what);
    void count(const Record& record);
    int checkCopies(const QString& exiftool);

    struct Tally {
        qint64 inputs = 0;
        qint64 readOpened = 0;
        qint64 positions = 0;
        qint64 writeOpened = 0;
        qint64 saved = 0;
    };

    const Options& m_options;
    const std::vector<fuzz::Seed> m_seeds;
    std::vector<fuzz::TiffMap> m_maps;
    const QString m_inputs;
    const QString m_copies;
    const QString m_sources;
    const QString m_stderr;
    std::map<QString, Tally> m_byKind;
    std::vector<qint64> m_saved;
    qint64 m_crashes = 0;
    qint64 m_sanitizerReports = 0;
    qint64 m_hangs = 0;
    qint64 m_slow = 0;
    qint64 m_sourcesChanged = 0;
    qint64 m_slowestMicros = 0;
    qint64 m_slowestInput = -1;
    qint64 m_unreadableToExiftool = 0;
};

void Round::child(int out, qint64 first, qint64 end) {
    // Sanitizer reports and Exiv2's complaints go to a file the parent reads if the child fails.
    const int log = ::open(QFile::encodeName(m_stderr).constData(),
                           O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (log >= 0)
        ::dup2(log, STDERR_FILENO);
    const auto codec = codec::defaultCodecFactory().create(QString::fromLatin1(codec::kProgId));
    if (!codec)
        ::_exit(3);
    for (qint64 input = first; input < end; ++input) {
        const fuzz::Mutant mutant = mutantOf(input);
        const QString path = m_inputs + QString::number(input) + u'.' + seedOf(input).suffix;
        if (!writeFile(path, mutant.bytes))
            ::_exit(4);
        if (!m_options.saveInputs.isEmpty())
            writeFile(QDir(m_options.saveInputs).filePath(QFileInfo(path).fileName()),
                      mutant.bytes);
        QElapsedTimer timer;
        timer.start();
        quint8 outcome =
            fuzz::drive(*codec, path, copyPath(input), fuzz::positionFor(input), input % 3 != 0);
        const qint64 micros = timer.nsecsElapsed() / 1000;
        if (readFile(path) != mutant.bytes)
            outcome |= fuzz::SourceChanged;
        if (outcome & fuzz::Saved)
            QFile::rename(path, sourcePath(input));
        else
            QFile::remove(path);
        const Record record{quint64(input), quint32(std::min<qint64>(micros, 0xffffffff)), outcome};
        if (::write(out, &record, sizeof record) != sizeof record)
            ::_exit(5);
    }
    ::_exit(0);
}

// Runs [first, end) in a child; returns where the next batch starts (after a failed input).
qint64 Round::runBatch(qint64 first, qint64 end) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        qFatal("fuzz: pipe failed");
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0)
        qFatal("fuzz: fork failed");
    if (pid == 0) {
        ::close(pipeFds[0]);
        child(pipeFds[1], first, end);
    }
    ::close(pipeFds[1]);
    qint64 next = first;
    bool hung = false;
    while (true) {
        pollfd poller{pipeFds[0], POLLIN, 0};
        const int ready = ::poll(&poller, 1, int(m_options.hangMs));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0) {
            hung = true;
            ::kill(pid, SIGKILL);
            break;
        }
        Record record{};
        const ssize_t got = ::read(pipeFds[0], &record, sizeof record);
        if (got != sizeof record)
            break;
        count(record);
        next = qint64(record.input) + 1;
    }
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    const QByteArray childErrors = readFile(m_stderr);
    const bool reported =
        childErrors.contains("Sanitizer") || childErrors.contains("runtime error:");
    if (hung) {
        ++m_hangs;
        failed(next, QStringLiteral("no answer within %1 ms").arg(m_options.hangMs));
    } else if (next < end || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || reported) {
        const QString how = WIFSIGNALED(status)
                                ? QStringLiteral("killed by signal %1").arg(WTERMSIG(status))
                                : QStringLiteral("exit status %1").arg(WEXITSTATUS(status));
        ++m_crashes;
        m_sanitizerReports += reported;
        // A report names the code it caught: Exiv2's own frames, or ours (codec::, fuzz::).
        const bool inExiv2 = childErrors.contains("libexiv2") || childErrors.contains("Exiv2::");
        failed(std::min(next, end - 1),
               how + (reported ? QStringLiteral(", sanitizer report") : QString()) +
                   (inExiv2 ? QStringLiteral(", inside Exiv2") : QString()));
        std::fprintf(stderr, "%s\n", childErrors.right(6000).constData());
    }
    // A batch that stopped early goes on after the input that stopped it.
    return next < end ? next + 1 : end;
}

void Round::failed(qint64 input, const QString& what) {
    const fuzz::Mutant mutant = mutantOf(input);
    QDir().mkpath(m_options.failures);
    const QString kept = QDir(m_options.failures)
                             .filePath(QStringLiteral("%1-%2.%3")
                                           .arg(input)
                                           .arg(seedOf(input).kind, seedOf(input).suffix));
    writeFile(kept, mutant.bytes);
    if (QFile::exists(copyPath(input)))
        QFile::copy(copyPath(input),
                    kept.section(u'.', 0, -2) + QStringLiteral(".copy.") + seedOf(input).suffix);
    std::fprintf(stderr, "fuzz: FAILED input %lld (%s: %s): %s; kept as %s\n", input,
                 qPrintable(seedOf(input).kind), qPrintable(mutant.description), qPrintable(what),
                 qPrintable(kept));
}

void Round::count(const Record& record) {
    const qint64 input = qint64(record.input);
    Tally& tally = m_byKind[seedOf(input).kind];
    ++tally.inputs;
    tally.readOpened += (record.outcome & fuzz::ReadOpened) != 0;
    tally.positions += (record.outcome & fuzz::HadPosition) != 0;
    tally.writeOpened += (record.outcome & fuzz::WriteOpened) != 0;
    if (record.outcome & fuzz::Saved) {
        ++tally.saved;
        m_saved.push_back(input);
    }
    if (record.micros > m_slowestMicros) {
        m_slowestMicros = record.micros;
        m_slowestInput = input;
    }
    if (record.micros > m_options.limitMs * 1000) {
        ++m_slow;
        failed(input, QStringLiteral("took %1 ms").arg(record.micros / 1000));
    }
    if (record.outcome & fuzz::SourceChanged) {
        ++m_sourcesChanged;
        failed(input, QStringLiteral("the source file changed"));
    }
}

// Every copy the codec called saved must hold exactly the position written, as ExifTool reads it.
// A copy in which ExifTool reads no EXIF tag at all is excused only when it read none in the
// input either (damage that Exiv2 tolerates and carries over, such as an entry of type 0 in IFD0,
// after which ExifTool drops the whole directory).
int Round::checkCopies(const QString& exiftool) {
    if (m_saved.empty())
        return 0;
    QStringList files;
    for (const qint64 input : m_saved)
        files << copyPath(input) << sourcePath(input);
    const std::map<QString, QJsonObject> read = readExif(exiftool, files);
    // {} when ExifTool gave up on the file altogether.
    const auto unreadable = [](const QJsonObject& tags) {
        return tags.isEmpty() || tags.keys() == QStringList{QStringLiteral("SourceFile")};
    };
    const auto at = [&read](const QString& path) {
        const auto found = read.find(QDir::cleanPath(path));
        return found == read.end() ? QJsonObject() : found->second;
    };
    int wrong = 0;
    for (const qint64 input : m_saved) {
        const QJsonObject tags = at(copyPath(input));
        if (sameGps(tags, fuzz::positionFor(std::uint64_t(input))))
            continue;
        if (unreadable(tags) && unreadable(at(sourcePath(input)))) {
            ++m_unreadableToExiftool;
            continue;
        }
        ++wrong;
        failed(input,
               QStringLiteral("saved, but ExifTool reads %1")
                   .arg(QString::fromUtf8(QJsonDocument(tags).toJson(QJsonDocument::Compact))));
    }
    return wrong;
}

int Round::report(const QString& exiftool) {
    int wrong = 0;
    QString checked = QStringLiteral("not checked (no exiftool)");
    if (!exiftool.isEmpty()) {
        wrong = checkCopies(exiftool);
        checked = QStringLiteral("%1 checked by ExifTool, %2 wrong, %3 unreadable to ExifTool "
                                 "as their input was")
                      .arg(m_saved.size())
                      .arg(wrong)
                      .arg(m_unreadableToExiftool);
    }
    // Anything left in the copies' folder besides the saved copies is a partial or stray file.
    const QStringList left =
        QDir(m_copies).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    const qint64 leftovers = left.size() - qint64(m_saved.size());
    for (const auto& [kind, t] : m_byKind)
        std::printf("fuzz: %-17s %6lld inputs, %6lld opened, %6lld with a position, %6lld opened "
                    "for writing, %6lld saved\n",
                    qPrintable(kind), t.inputs, t.readOpened, t.positions, t.writeOpened, t.saved);
    qint64 inputs = 0;
    for (const auto& entry : m_byKind)
        inputs += entry.second.inputs;
    std::printf("fuzz: seed %llu, inputs %lld, crashes %lld, sanitizer reports %lld, hangs %lld, "
                "over %lld ms %lld, sources changed %lld, files left behind %lld, copies %s; "
                "slowest %.1f ms (input %lld, %s)\n",
                static_cast<unsigned long long>(m_options.seed), inputs + m_crashes + m_hangs,
                m_crashes, m_sanitizerReports, m_hangs, m_options.limitMs, m_slow, m_sourcesChanged,
                std::max<qint64>(leftovers, 0), qPrintable(checked), m_slowestMicros / 1000.0,
                m_slowestInput, m_slowestInput < 0 ? "" : qPrintable(seedOf(m_slowestInput).kind));
    const bool clean = m_crashes == 0 && m_hangs == 0 && m_slow == 0 && m_sourcesChanged == 0 &&
                       leftovers == 0 && wrong == 0;
    return clean ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // progress shows as it comes, even into a file
    Options options;
    if (!parse(app.arguments(), options)) {
        std::fprintf(stderr, "usage: fuzz_codec [--inputs N] [--first N] [--seed S] [--batch N] "
                             "[--limit-ms MS] [--hang-ms MS] [--failures DIR] "
                             "[--save-inputs DIR] [--save-seeds DIR]\n");
        return 2;
    }
    QTemporaryDir work;
    const QString seedDir = work.filePath(QStringLiteral("seeds"));
    QDir().mkpath(seedDir);
    const fuzz::SeedTools tools{QStandardPaths::findExecutable(QStringLiteral("exiftool")),
                                QStandardPaths::findExecutable(QStringLiteral("convert"))};
    QStringList missing;
    auto seeds = fuzz::makeSeeds(seedDir, tools, missing);
    if (seeds.empty()) {
        std::fprintf(stderr, "fuzz: no seed photo could be made\n");
        return 2;
    }
    if (!missing.isEmpty())
        std::printf("fuzz: seeds that could not be made: %s\n", qPrintable(missing.join(u", ")));
    if (!options.saveInputs.isEmpty())
        QDir().mkpath(options.saveInputs);
    Round round(options, std::move(seeds), work.path());
    round.describeSeeds();
    round.run();
    return round.report(tools.exiftool);
}
