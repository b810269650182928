#pragma once
// Line-by-line reading of the text files users bring: logs and photo-name lists made on any
// system. The encoding is told from the bytes: a byte-order mark decides; otherwise a file that is
// valid UTF-8 is UTF-8, and anything else is GB18030 (what Chinese Windows systems write).
// A line ends at CR LF, CR or LF; a byte-order mark is never part of the first line.

#include <QFile>
#include <QString>
#include <QStringDecoder>
#include <optional>

class TextLineReader {
public:
    enum class Encoding { Utf8, Utf16LE, Utf16BE, Gb18030 };

    explicit TextLineReader(const QString& path);

    // Opens the file and decides its encoding (one pass over its bytes, chunk by chunk: the file
    // is never held whole in memory). False when the file cannot be opened or read.
    bool open();

    // The next line without its line end; empty at the end of the file or after a read error.
    std::optional<QString> readLine();

    // A read failed after open() succeeded; the lines before it were delivered.
    bool hasError() const { return m_error; }
    Encoding encoding() const { return m_encoding; }

private:
    bool fillBuffer();
    bool scanEncoding();

    QFile m_file;
    QStringDecoder m_decoder;
    Encoding m_encoding = Encoding::Utf8;
    QString m_buffer;
    qsizetype m_pos = 0;
    bool m_atEnd = false;
    bool m_error = false;
};

// True when the bytes fed so far form valid UTF-8 (no overlong forms, surrogates or code points
// beyond U+10FFFF), fed in pieces of any size.
class Utf8Validator {
public:
    void feed(QByteArrayView bytes);
    // Valid so far and no sequence left unfinished.
    bool isValid() const { return m_valid && m_need == 0; }
    // A byte broke the rules: no later byte can make the text valid.
    bool failed() const { return !m_valid; }

private:
    bool m_valid = true;
    int m_need = 0;
    unsigned char m_lo = 0x80;
    unsigned char m_hi = 0xBF;
};
