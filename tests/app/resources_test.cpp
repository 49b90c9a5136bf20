// The resource table as the window layer reads it: every dialog found by its id
// with its controls inside the dialog and ids unique, the menu-bar button table
// consistent with menu 104 and the string table, Control+Q in table 102, and
// the course arrows loaded by the create handler pointing N, NE, E, SE, S, SW,
// W, NW in arrowIcons[0] to [7] (measured on the rendered icons).
#include <QImage>

#include <cmath>
#include <set>
#include <string>

#include "app/globals.h"
#include "app_support.h"
#include "platform/qt/qt_handles.h"
#include "resources/resources.h"

namespace {

class ResourceTest : public ShellTest {};

TEST_F(ResourceTest, DialogsAreFoundAndTheirControlsFit)
{
    const struct {
        int32_t id;
        const char16_t* title;
        int32_t width, height;
    } rows[] = {
        {103, u"Gps Data   Velkar", 133, 133}, {105, u"About Velkar", 90, 98},
        {106, u"Bitmap Parameter", 129, 157},   {107, u"Velkar General Settings", 129, 127},
        {114, u"GoTo Coordinate LL", 113, 33},  {115, u"GoTo Preference Point", 128, 31},
    };
    EXPECT_EQ(velkarResources.dialogCount, 6);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.id);
        const DialogTemplate* t = FindDialogTemplate(&velkarResources, row.id);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(std::u16string(t->title), row.title);
        EXPECT_EQ(t->width, row.width);
        EXPECT_EQ(t->height, row.height);
        EXPECT_EQ(std::u16string(t->fontName), u"System");
        EXPECT_EQ(t->fontPoints, 8);
        std::set<int32_t> ids;
        for (int32_t i = 0; i < t->controlCount; ++i) {
            const ControlTemplate& c = t->controls[i];
            SCOPED_TRACE(i);
            if (c.id != kNoId) {
                EXPECT_TRUE(ids.insert(c.id).second) << "id " << c.id << " twice";
            }
            EXPECT_GE(c.x, 0);
            EXPECT_GE(c.y, 0);
            EXPECT_LE(c.x + c.width, t->width);
            EXPECT_LE(c.y + c.height, t->height);
            if (c.iconId != 0) {
                EXPECT_NE(FindIcon(&velkarResources, c.iconId), nullptr);
            }
        }
        // Every dialog has a way out by a button the procedures know (1, 2 or 1013).
        EXPECT_TRUE(ids.count(1) || ids.count(2) || ids.count(1013));
    }
    // Dialog 115 alone opens at its template position; 114 and 115 are tool windows.
    EXPECT_EQ(kGotoPrefDialog.style & kDsCenter, 0u);
    EXPECT_EQ(kGotoPrefDialog.exStyle & kWsExToolWindow, kWsExToolWindow);
    EXPECT_EQ(kGotoCoordDialog.exStyle & kWsExToolWindow, kWsExToolWindow);
    EXPECT_EQ(kGpsDataDialog.style & kDsSetForeground, kDsSetForeground);
}

TEST_F(ResourceTest, MenuBarTableMatchesMenuAndStrings)
{
    const RawDataResource* bar = FindRawData(&velkarResources, 104);
    ASSERT_NE(bar, nullptr);
    ASSERT_GE(bar->wordCount, 2);
    const MenuTemplate* menu = FindMenuTemplate(&velkarResources, bar->words[0]);
    ASSERT_NE(menu, nullptr);
    const int buttons = bar->words[1];
    ASSERT_EQ(bar->wordCount, 2 + 7 * buttons);
    ASSERT_EQ(buttons, 3);
    const char16_t* captions[] = {u"Main", u"Gps", u"About"};
    for (int b = 0; b < buttons; ++b) {
        SCOPED_TRACE(b);
        const uint16_t* w = bar->words + 2 + 7 * b;
        const uint16_t command = w[1], style = w[3], caption = w[4], entry = w[6];
        EXPECT_EQ(w[0], 65534) << "no picture";
        EXPECT_EQ(w[2], 4) << "enabled";
        ASSERT_NE(FindString(&velkarResources, caption), nullptr);
        EXPECT_EQ(std::u16string(FindString(&velkarResources, caption)), captions[b]);
        ASSERT_LT(entry, menu->itemCount);
        const MenuItemTemplate& item = menu->items[entry];
        EXPECT_EQ(std::u16string(item.text), captions[b]);
        if (style == 24) {
            EXPECT_NE(item.popup, nullptr) << "a drop-down button stands for a pop-up";
        } else {
            EXPECT_EQ(style, 16);
            EXPECT_EQ(item.commandId, command) << "a plain button sends its entry's command";
        }
    }
    // The pop-up: Exit, two groups of two dialogs, separators between.
    const MenuItemTemplate& main = menu->items[0];
    ASSERT_EQ(main.popupCount, 7);
    const int32_t commands[] = {40005, 0, 40011, 40012, 0, 40015, 40016};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(main.popup[i].commandId, commands[i]) << i;
        EXPECT_EQ(main.popup[i].text == nullptr, commands[i] == 0) << i;
    }
}

TEST_F(ResourceTest, ControlQInTableOneHundredTwo)
{
    const AcceleratorResource* table = FindAccelerators(&velkarResources, 102);
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->entryCount, 1);
    EXPECT_EQ(table->entries[0].flags, 0x8B);
    EXPECT_EQ(table->entries[0].key, 81);
    EXPECT_EQ(table->entries[0].command, 1);
}

// How wide the opaque part of an icon is across a line perpendicular to
// direction (dx, dy), offset pixels from the centre along it.
double WidthAcross(const QImage& image, double dx, double dy, double offset)
{
    const double cx = image.width() / 2.0, cy = image.height() / 2.0;
    int opaque = 0;
    for (double t = -16; t <= 16; t += 0.25) {
        const int x = static_cast<int>(std::floor(cx + offset * dx - t * dy));
        const int y = static_cast<int>(std::floor(cy + offset * dy + t * dx));
        if (x < 0 || y < 0 || x >= image.width() || y >= image.height()) continue;
        if (qAlpha(image.pixel(x, y)) > 128) ++opaque;
    }
    return opaque * 0.25;
}

TEST_F(ResourceTest, ArrowIconsPointTheWayTheirSlotSays)
{
    ASSERT_NE(CreateShellWindow(), nullptr);
    // Slots 0..7: N, NE, E, SE, S, SW, W, NW; screen y grows downwards.
    const double s = std::sqrt(0.5);
    const double directions[8][2] = {{0, -1}, {s, -s}, {1, 0}, {s, s}, {0, 1}, {-s, s}, {-1, 0}, {-s, -s}};
    const char* names[8] = {"N", "NE", "E", "SE", "S", "SW", "W", "NW"};
    for (int slot = 0; slot < kArrowCount; ++slot) {
        SCOPED_TRACE(names[slot]);
        ASSERT_NE(arrowIcons[slot], nullptr);
        const QImage image = IconImage(arrowIcons[slot]);
        ASSERT_EQ(image.width(), 32);
        ASSERT_EQ(image.height(), 32);
        // Transparent corners: the map shows round the arrow.
        for (QPoint corner : {QPoint(0, 0), QPoint(31, 0), QPoint(0, 31), QPoint(31, 31)})
            EXPECT_EQ(qAlpha(image.pixel(corner)), 0);
        // The head is wide, the shaft narrow: the way the arrow points is the
        // direction with the widest cut ahead of the centre against behind it.
        int best = -1;
        double bestLead = -1e9;
        for (int d = 0; d < 8; ++d) {
            const double lead = WidthAcross(image, directions[d][0], directions[d][1], 4) -
                                WidthAcross(image, directions[d][0], directions[d][1], -4);
            if (lead > bestLead) {
                bestLead = lead;
                best = d;
            }
        }
        EXPECT_EQ(best, slot) << "points " << (best >= 0 ? names[best] : "nowhere");
        EXPECT_GT(bestLead, 4.0);
    }
}

TEST_F(ResourceTest, ApplicationIconAndAboutPictureLoad)
{
    for (int32_t id : {109, 111}) {
        IconHandle icon = LoadIconResource(&velkarResources, id);
        ASSERT_NE(icon, nullptr) << id;
        const QImage image = IconImage(icon);
        EXPECT_EQ(image.size(), QSize(32, 32)) << id;
        int opaque = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                if (qAlpha(image.pixel(x, y)) > 128) ++opaque;
        EXPECT_GT(opaque, 300) << "icon " << id << " draws a picture";
        DestroyIconHandle(icon);
    }
}

}  // namespace
