#pragma once
// Exiv2 reports what it could not read only through its log. While a LogCapture lives on a
// thread, Exiv2's messages from that thread are kept in it; messages outside any capture are
// dropped, so Exiv2 never writes to standard error behind the program's back.

#include <string>
#include <vector>

namespace codec::detail {

class LogCapture {
public:
    struct Message {
        int level; // Exiv2::LogMsg::Level
        std::string text;
    };

    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    const std::vector<Message>& messages() const { return m_messages; }
    bool empty() const { return m_messages.empty(); }
    void add(int level, const char* text);

private:
    std::vector<Message> m_messages;
    LogCapture* m_outer;
};

// Routes Exiv2's log to the captures; idempotent and thread-safe.
void installExiv2LogHandler();

} // namespace codec::detail
