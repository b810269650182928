#include "exiv2log.h"

#include <exiv2/exiv2.hpp>
#include <mutex>

namespace codec::detail {

namespace {

// Exiv2 takes one process-wide handler; the capture it reports to is per thread, so parallel
// opens each see only their own messages.
thread_local LogCapture* t_capture = nullptr;

void handleExiv2Message(int level, const char* text) {
    if (t_capture && text)
        t_capture->add(level, text);
}

} // namespace

LogCapture::LogCapture() : m_outer(t_capture) {
    t_capture = this;
}

LogCapture::~LogCapture() {
    t_capture = m_outer;
}

void LogCapture::add(int level, const char* text) {
    std::string line(text);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    m_messages.push_back({level, std::move(line)});
}

void installExiv2LogHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::warn);
        Exiv2::LogMsg::setHandler(&handleExiv2Message);
        // The XMP toolkit must be set up once before threads use it, and used by one at a time:
        // Exiv2 takes this lock around every call into it.
        static std::mutex xmpToolkit;
        Exiv2::XmpParser::initialize(
            [](void* mutex, bool lock) {
                auto* const m = static_cast<std::mutex*>(mutex);
                lock ? m->lock() : m->unlock();
            },
            &xmpToolkit);
    });
}

} // namespace codec::detail
