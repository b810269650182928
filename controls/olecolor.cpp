#include "controls/olecolor.h"

#include <array>
#include <utility>

namespace olecolor {

namespace {

using Group = QPalette::ColorGroup;
using Role = QPalette::ColorRole;

// COLOR_* indices 0..30 in order; the nearest palette entry for each.
constexpr std::array<std::pair<Group, Role>, 31> kSystemColors{{
    {Group::Active, Role::Button},          // 0 scroll bar
    {Group::Active, Role::Dark},            // 1 desktop
    {Group::Active, Role::Highlight},       // 2 active caption
    {Group::Inactive, Role::Mid},           // 3 inactive caption
    {Group::Active, Role::Window},          // 4 menu
    {Group::Active, Role::Base},            // 5 window
    {Group::Active, Role::Shadow},          // 6 window frame
    {Group::Active, Role::WindowText},      // 7 menu text
    {Group::Active, Role::Text},            // 8 window text
    {Group::Active, Role::HighlightedText}, // 9 caption text
    {Group::Active, Role::Window},          // 10 active border
    {Group::Active, Role::Window},          // 11 inactive border
    {Group::Active, Role::Dark},            // 12 application workspace
    {Group::Active, Role::Highlight},       // 13 highlight
    {Group::Active, Role::HighlightedText}, // 14 highlight text
    {Group::Active, Role::Button},          // 15 button face
    {Group::Active, Role::Dark},            // 16 button shadow
    {Group::Disabled, Role::Text},          // 17 grey text
    {Group::Active, Role::ButtonText},      // 18 button text
    {Group::Inactive, Role::WindowText},    // 19 inactive caption text
    {Group::Active, Role::Light},           // 20 button highlight
    {Group::Active, Role::Shadow},          // 21 3-D dark shadow
    {Group::Active, Role::Midlight},        // 22 3-D light
    {Group::Active, Role::ToolTipText},     // 23 tooltip text
    {Group::Active, Role::ToolTipBase},     // 24 tooltip background
    {Group::Active, Role::Window},          // 25 (unused)
    {Group::Active, Role::Link},            // 26 hot-tracked item
    {Group::Active, Role::Highlight},       // 27 active caption gradient
    {Group::Inactive, Role::Mid},           // 28 inactive caption gradient
    {Group::Active, Role::Highlight},       // 29 menu highlight
    {Group::Active, Role::Window},          // 30 menu bar
}};

} // namespace

QColor toQColor(quint32 ole, const QPalette& palette) {
    if (ole & kSystemColor) {
        const quint32 index = ole & 0xFFFFu;
        if ((ole & 0x7FFF0000u) != 0 || index >= kSystemColors.size())
            return QColor(Qt::black);
        const auto [group, role] = kSystemColors[index];
        return palette.color(group, role);
    }
    return QColor(static_cast<int>(ole & 0xFF), static_cast<int>((ole >> 8) & 0xFF),
                  static_cast<int>((ole >> 16) & 0xFF));
}

quint32 fromQColor(const QColor& color) {
    return rgb(color.red(), color.green(), color.blue());
}

} // namespace olecolor
