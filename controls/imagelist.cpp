#include "controls/imagelist.h"

#include <QPainter>

namespace {

QRgb maskRgb(quint32 colorRef) {
    return qRgb(static_cast<int>(colorRef & 0xFF), static_cast<int>((colorRef >> 8) & 0xFF),
                static_cast<int>((colorRef >> 16) & 0xFF));
}

} // namespace

std::vector<QImage> ImageList::cut(const QImage& strip, quint32 maskColor) const {
    std::vector<QImage> images;
    if (strip.isNull() || m_size.isEmpty() || strip.height() < m_size.height())
        return images;
    QImage argb = strip.convertToFormat(QImage::Format_ARGB32);
    if (maskColor != kNoMask) {
        const QRgb key = maskRgb(maskColor);
        for (int y = 0; y < argb.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(argb.scanLine(y));
            for (int x = 0; x < argb.width(); ++x) {
                if ((line[x] | 0xFF000000u) == key)
                    line[x] = 0;
            }
        }
    }
    for (int x = 0; x + m_size.width() <= argb.width(); x += m_size.width())
        images.push_back(argb.copy(x, 0, m_size.width(), m_size.height()));
    return images;
}

int ImageList::addStrip(const QImage& strip, quint32 maskColor) {
    const std::vector<QImage> images = cut(strip, maskColor);
    if (images.empty())
        return -1;
    const int first = count();
    for (const QImage& image : images)
        m_images.push_back(Image{QPixmap::fromImage(image), {}});
    return first;
}

int ImageList::addIcon(const QIcon& icon) {
    if (icon.isNull())
        return -1;
    m_images.push_back(Image{icon.pixmap(m_size), {}});
    return count() - 1;
}

bool ImageList::replace(int index, const QImage& strip, quint32 maskColor) {
    if (index < 0 || index >= count())
        return false;
    const std::vector<QImage> images = cut(strip, maskColor);
    if (images.empty())
        return false;
    m_images[static_cast<size_t>(index)] = Image{QPixmap::fromImage(images.front()), {}};
    return true;
}

QPixmap ImageList::pixmap(int index) const {
    if (index < 0 || index >= count())
        return {};
    return m_images[static_cast<size_t>(index)].normal;
}

QPixmap ImageList::ghosted(int index) const {
    if (index < 0 || index >= count())
        return {};
    const Image& image = m_images[static_cast<size_t>(index)];
    if (image.ghost.isNull()) {
        QPixmap ghost(image.normal.size());
        ghost.fill(Qt::transparent);
        QPainter painter(&ghost);
        painter.setOpacity(0.5);
        painter.drawPixmap(0, 0, image.normal);
        painter.end();
        image.ghost = ghost;
    }
    return image.ghost;
}
