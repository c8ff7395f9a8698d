#pragma once

#include <QRect>
#include <QSize>

#include <optional>

// The layout of one playback panel in pixels: its size, its background
// bitmap and the place of each control. Controls a layout lacks are absent.
struct PanelTemplate {
    int id;
    QSize size;
    int backgroundBitmap;
    QRect cover;
    QRect title;
    QRect total; // the total time, or the photo counter
    QRect seekBar;
    QRect repeat;
    QRect previous;
    QRect play; // also the pause button
    QRect next;
    std::optional<QRect> elapsed;
    std::optional<QRect> volumeButton; // also the muted button
    std::optional<QRect> volumeBar;
    std::optional<QRect> close;
};

// Template 101 (video), 141 (music alone), 138 (compact music), 140 (photos
// alone) or 137 (compact photos); null for any other number.
const PanelTemplate* FindPanelTemplate(int id);
