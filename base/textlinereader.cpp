#include "base/textlinereader.h"

namespace {

constexpr qint64 kChunkSize = 64 * 1024;

bool startsWith(QByteArrayView bytes, QByteArrayView prefix) {
    return bytes.size() >= prefix.size() && bytes.first(prefix.size()) == prefix;
}

QStringDecoder decoderFor(TextLineReader::Encoding encoding) {
    switch (encoding) {
    case TextLineReader::Encoding::Utf8:
        return QStringDecoder(QStringDecoder::Utf8);
    case TextLineReader::Encoding::Utf16LE:
        return QStringDecoder(QStringDecoder::Utf16LE);
    case TextLineReader::Encoding::Utf16BE:
        return QStringDecoder(QStringDecoder::Utf16BE);
    case TextLineReader::Encoding::Gb18030: {
        QStringDecoder gb18030("GB18030");
        // Qt without ICU knows no GB18030; the system's own encoding is the nearest stand-in.
        return gb18030.isValid() ? std::move(gb18030) : QStringDecoder(QStringDecoder::System);
    }
    }
    return QStringDecoder(QStringDecoder::Utf8);
}

std::optional<TextLineReader::Encoding> encodingMarked(QByteArrayView head) {
    if (startsWith(head, "\xEF\xBB\xBF"))
        return TextLineReader::Encoding::Utf8;
    if (startsWith(head, "\xFF\xFE"))
        return TextLineReader::Encoding::Utf16LE;
    if (startsWith(head, "\xFE\xFF"))
        return TextLineReader::Encoding::Utf16BE;
    return std::nullopt;
}

} // namespace

void Utf8Validator::feed(QByteArrayView bytes) {
    for (const char c : bytes) {
        if (!m_valid)
            return;
        const auto b = static_cast<unsigned char>(c);
        if (m_need > 0) {
            if (b < m_lo || b > m_hi) {
                m_valid = false;
                return;
            }
            m_lo = 0x80;
            m_hi = 0xBF;
            --m_need;
            continue;
        }
        if (b < 0x80)
            continue;
        // The ranges of the second byte rule out overlong forms, surrogates and values beyond
        // U+10FFFF, as the Unicode standard's table of well-formed sequences does.
        if (b >= 0xC2 && b <= 0xDF) {
            m_need = 1;
        } else if (b == 0xE0) {
            m_need = 2;
            m_lo = 0xA0;
        } else if (b == 0xED) {
            m_need = 2;
            m_hi = 0x9F;
        } else if (b >= 0xE1 && b <= 0xEF) {
            m_need = 2;
        } else if (b == 0xF0) {
            m_need = 3;
            m_lo = 0x90;
        } else if (b >= 0xF1 && b <= 0xF3) {
            m_need = 3;
        } else if (b == 0xF4) {
            m_need = 3;
            m_hi = 0x8F;
        } else {
            m_valid = false;
        }
    }
}

TextLineReader::TextLineReader(const QString& path) : m_file(path) {}

bool TextLineReader::open() {
    if (!m_file.open(QIODevice::ReadOnly))
        return false;
    if (!scanEncoding())
        return false;
    // The decoders drop a leading byte-order mark themselves.
    m_decoder = decoderFor(m_encoding);
    return true;
}

bool TextLineReader::scanEncoding() {
    if (const auto marked = encodingMarked(m_file.peek(3))) {
        m_encoding = *marked;
        return true;
    }
    Utf8Validator validator;
    QByteArray chunk(kChunkSize, Qt::Uninitialized);
    for (;;) {
        const qint64 n = m_file.read(chunk.data(), kChunkSize);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        validator.feed(QByteArrayView(chunk.constData(), n));
        if (validator.failed())
            break;
    }
    m_encoding = validator.isValid() ? Encoding::Utf8 : Encoding::Gb18030;
    return m_file.seek(0);
}

bool TextLineReader::fillBuffer() {
    if (m_atEnd)
        return false;
    QByteArray chunk(kChunkSize, Qt::Uninitialized);
    const qint64 n = m_file.read(chunk.data(), kChunkSize);
    if (n < 0) {
        m_error = true;
        m_atEnd = true;
        return false;
    }
    if (n == 0) {
        m_atEnd = true;
        return false;
    }
    if (m_pos > 0) {
        m_buffer.remove(0, m_pos);
        m_pos = 0;
    }
    m_buffer += m_decoder.decode(QByteArrayView(chunk.constData(), n));
    return true;
}

std::optional<QString> TextLineReader::readLine() {
    if (m_error)
        return std::nullopt;
    qsizetype searchFrom = m_pos;
    for (;;) {
        qsizetype end = -1;
        for (qsizetype i = searchFrom; i < m_buffer.size(); ++i) {
            const QChar c = m_buffer.at(i);
            if (c == u'\n' || c == u'\r') {
                end = i;
                break;
            }
        }
        if (end >= 0) {
            // A CR at the end of the buffer may be the first half of CR LF.
            if (m_buffer.at(end) == u'\r' && end + 1 == m_buffer.size() && !m_atEnd) {
                const qsizetype offset = end - m_pos;
                if (fillBuffer()) {
                    searchFrom = m_pos + offset;
                    continue;
                }
                end = m_pos + offset;
                if (m_error)
                    return std::nullopt;
            }
            QString line = m_buffer.mid(m_pos, end - m_pos);
            qsizetype next = end + 1;
            if (m_buffer.at(end) == u'\r' && next < m_buffer.size() && m_buffer.at(next) == u'\n')
                ++next;
            m_pos = next;
            return line;
        }
        const qsizetype scanned = m_buffer.size() - m_pos;
        if (!fillBuffer()) {
            if (m_error || m_pos >= m_buffer.size())
                return std::nullopt;
            QString line = m_buffer.mid(m_pos);
            m_pos = m_buffer.size();
            return line;
        }
        searchFrom = m_pos + scanned;
    }
}
