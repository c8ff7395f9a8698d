#include "PanelTemplate.h"

#include "ui/controls/DialogUnits.h"

#include <array>

namespace {

// The full layouts and the compact ones share their columns; only the rows
// differ. Positions are in dialog units, as the layouts were drawn.
struct Rows {
    int cover, title, time, seek, buttons, volume, volumeBar;
};

constexpr Rows kFullRows{52, 53, 71, 81, 92, 115, 121};

QRect transportButton(int column, int row) {
    return DialogUnitsRect(column, row, 22, 16);
}

PanelTemplate makeTemplate(int id, QSize sizeUnits, int background, const Rows& rows, bool hasTime,
                           std::optional<QRect> close) {
    PanelTemplate layout{
        .id = id,
        .size = DialogUnitsRect(0, 0, sizeUnits.width(), sizeUnits.height()).size(),
        .backgroundBitmap = background,
        .cover = DialogUnitsRect(11, rows.cover, 88, 65),
        .title = DialogUnitsRect(106, rows.title, 134, 10),
        .total = DialogUnitsRect(164, rows.time, 60, 9),
        .seekBar = DialogUnitsRect(107, rows.seek, 116, 6),
        .repeat = transportButton(101, rows.buttons),
        .previous = transportButton(127, rows.buttons),
        .play = transportButton(153, rows.buttons),
        .next = transportButton(179, rows.buttons),
        .elapsed = std::nullopt,
        .volumeButton = std::nullopt,
        .volumeBar = std::nullopt,
        .close = close,
    };
    if (hasTime) {
        layout.elapsed = DialogUnitsRect(106, rows.time, 57, 9);
        layout.volumeButton = DialogUnitsRect(109, rows.volume, 16, 15);
        layout.volumeBar = DialogUnitsRect(128, rows.volumeBar, 65, 4);
    }
    return layout;
}

const std::array<PanelTemplate, 5>& templates() {
    static const std::array<PanelTemplate, 5> all{
        makeTemplate(101, {250, 189}, 189, kFullRows, true, std::nullopt),
        makeTemplate(141, {249, 189}, 189, kFullRows, true, std::nullopt),
        makeTemplate(138, {250, 96}, 188, Rows{14, 16, 32, 43, 54, 77, 83}, true,
                     DialogUnitsRect(223, 1, 18, 14)),
        makeTemplate(140, {250, 189}, 189, kFullRows, false, std::nullopt),
        makeTemplate(137, {250, 96}, 188, Rows{10, 17, 28, 39, 50, 0, 0}, false,
                     DialogUnitsRect(223, 2, 18, 14)),
    };
    return all;
}

} // namespace

const PanelTemplate* FindPanelTemplate(int id) {
    for (const PanelTemplate& layout : templates())
        if (layout.id == id)
            return &layout;
    return nullptr;
}
