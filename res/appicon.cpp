#include "res/appicon.h"

#include "engine/blockstatearray.h"
#include "view/mapcolors.h"
#include "view/textdraw.h"

#include <QPainter>
#include <QPixmap>

QIcon LoadAppIcon() {
    // Three rows of three cells at a pitch of 5, as the map lays them out: equal blocks, a
    // few differences and a length difference at the end.
    static const uint8_t kCells[9] = {BLOCK_EQUAL,     BLOCK_EQUAL, BLOCK_DIFFERENT,
                                      BLOCK_EQUAL,     BLOCK_EQUAL, BLOCK_EQUAL,
                                      BLOCK_DIFFERENT, BLOCK_EQUAL, BLOCK_LENGTH_DIFFERS};
    QPixmap pixmap(16, 16);
    pixmap.fill(ColorFromRef(CLR_MAP_BACKGROUND));
    QPainter dc(&pixmap);
    for (int i = 0; i < 9; ++i)
        dc.fillRect(1 + (i % 3) * 5, 1 + (i / 3) * 5, 4, 4, ColorFromRef(StateColor(kCells[i])));
    dc.end();
    return QIcon(pixmap);
}
