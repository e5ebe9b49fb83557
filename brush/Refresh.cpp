#include "brush/Refresh.h"

#include "brush/Undo.h"
#include "core/Dabstone.h"

namespace
{
Box refresh_box;     // painted since the last flush
int en_cours = 0;    // refresh_box holds something
int32_t lost = 0;    // pixels of refresh_box never painted, as estimated
Box big_refresh_box; // painted since the last Refresh_End
int big_en_cours = 0;

int64_t Area(const Box &b)
{
    return b.width > 0 && b.height > 0 ? int64_t(b.width) * b.height : 0;
}
} // namespace

void Refresh_AddBox(const Box *b)
{
    if (!big_en_cours) {
        big_refresh_box = *b;
        big_en_cours = 1;
    } else {
        Box_SelfUnion(&big_refresh_box, b);
    }

    if (!en_cours) {
        refresh_box = *b;
        en_cours = 1;
        lost = 0;
        return;
    }
    Box u{}, i{}; // Box_Union keeps its output's link word: it must be set
    Box_Union(&u, &refresh_box, b);
    if (!Box_Clip(&i, &refresh_box, b))
        i.width = i.height = 0;
    // Small unions are always worth it: one request instead of several.
    if (u.width < 20 && u.height < 20) {
        refresh_box = u;
        return;
    }
    // What the union adds beyond the two boxes is redrawn for nothing.
    lost = int32_t(lost + Area(u) - Area(refresh_box) - Area(*b) + Area(i));
    refresh_box = u;
    if (lost >= Area(u) / 2)
        Refresh_Flush();
}

void Refresh_Flush()
{
    if (!en_cours)
        return;
    en_cours = 0;
    Dabstone_DirectRefresh(&refresh_box);
}

void Refresh_End()
{
    Refresh_Flush();
    if (!big_en_cours)
        return;
    big_en_cours = 0;
    Dabstone_BigRefresh(&big_refresh_box);
    Undo_SetBox(&big_refresh_box);
}
