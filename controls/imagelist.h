#pragma once
// A list of equally sized images, as the list view's small, large and header lists hold them.
// Internal to the controls.

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QSize>
#include <vector>

class ImageList {
public:
    static constexpr quint32 kNoMask = 0xFFFFFFFFu;

    explicit ImageList(QSize size) : m_size(size) {}

    QSize size() const { return m_size; }
    int count() const { return static_cast<int>(m_images.size()); }

    // Cuts a strip into images of the list's size, left to right; pixels of the mask colour
    // (a COLORREF) become transparent. The index of the first new image, -1 when the strip holds
    // no whole image.
    int addStrip(const QImage& strip, quint32 maskColor = kNoMask);
    int addIcon(const QIcon& icon);
    // Replaces image `index` with the first image of the strip; false for a bad index or strip.
    bool replace(int index, const QImage& strip, quint32 maskColor = kNoMask);

    // Null for an index outside the list.
    QPixmap pixmap(int index) const;
    // The image as drawn for a ghosted ("cut") item: blended half way into the background.
    QPixmap ghosted(int index) const;

private:
    struct Image {
        QPixmap normal;
        mutable QPixmap ghost;
    };

    std::vector<QImage> cut(const QImage& strip, quint32 maskColor) const;

    QSize m_size;
    std::vector<Image> m_images;
};
