// Icons and the menu bar on Qt: icons drawn from their SVG resource, and the bar at
// the main window's foot built from the button table (words: menu id, count, then
// 7 words a button), its drop-down buttons opening their pop-up menus upwards and
// every choice posted to the window as a command.
#include <QEvent>
#include <QHBoxLayout>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QSvgRenderer>
#include <QToolButton>
#include <QVBoxLayout>

#include "platform/qt/qt_handles.h"
#include "platform/qt/qt_internal.h"

// ---- Icons --------------------------------------------------------------------------------

IconHandle LoadIconResource(InstanceHandle instance, int32_t id)
{
    EnsureQtApplication();
    const IconResource* resource = FindIcon(instance, id);
    if (resource == nullptr || resource->svg == nullptr || resource->size <= 0 || resource->size > 1024) return nullptr;
    QSvgRenderer renderer(QByteArray(resource->svg, static_cast<qsizetype>(resource->svgLength)));
    if (!renderer.isValid()) return nullptr;
    auto* icon = new PlatformIcon;
    icon->image = QImage(resource->size, resource->size, QImage::Format_ARGB32_Premultiplied);
    icon->image.fill(Qt::transparent);
    QPainter p(&icon->image);
    p.setRenderHint(QPainter::Antialiasing);
    renderer.render(&p);
    p.end();
    return icon;
}

void DestroyIconHandle(IconHandle icon) { delete icon; }

QImage IconImage(IconHandle icon) { return icon != nullptr ? icon->image.copy() : QImage(); }

// ---- Menu bar -----------------------------------------------------------------------------

namespace {

constexpr int kButtonWords = 7;       // image, command, state, style, caption, reserved, menu entry
constexpr uint16_t kStateEnabled = 4;
constexpr uint16_t kStyleDropDown = 0x08;

// A menu choice arrives through the queue, after the pop-up has closed and
// outside the event that made it.
void PostCommand(WindowHandle owner, int32_t command)
{
    PostWindowMessage(owner, kMsgCommand, MakeWParam(command, 0), 0);
}

void FillMenu(QMenu* menu, const MenuItemTemplate* items, int32_t count, WindowHandle owner)
{
    for (int32_t i = 0; i < count; ++i) {
        const MenuItemTemplate& item = items[i];
        if (item.text == nullptr) {
            menu->addSeparator();
        } else if (item.popup != nullptr && item.popupCount > 0) {
            QMenu* sub = menu->addMenu(QStringOfText(item.text));
            FillMenu(sub, item.popup, item.popupCount, owner);
        } else {
            QAction* action = menu->addAction(QStringOfText(item.text));
            action->setObjectName(QStringLiteral("menu-%1").arg(item.commandId));
            const int32_t command = item.commandId;
            QObject::connect(action, &QAction::triggered, menu, [owner, command]() { PostCommand(owner, command); });
        }
    }
}

// The bar sits at the foot of the window, so its pop-ups open upwards when the
// screen has room above the button, as on the handheld.
class OpenUpwards : public QObject {
public:
    OpenUpwards(QToolButton* button, QMenu* menu) : QObject(menu), button_(button) { menu->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show) {
            auto* menu = static_cast<QMenu*>(watched);
            const QPoint top = button_->mapToGlobal(QPoint(0, 0));
            const QScreen* screen = button_->screen();
            const int screenTop = screen != nullptr ? screen->availableGeometry().top() : 0;
            if (top.y() - menu->height() >= screenTop) menu->move(top.x(), top.y() - menu->height());
        }
        return false;
    }

private:
    QToolButton* button_;
};

}  // namespace

int CreateMenuBar(MenuBarInfo* info)
{
    EnsureQtApplication();
    if (info == nullptr) return 0;
    info->menuBar = nullptr;
    WindowHandle owner = info->owner;
    if (!IsLiveWindow(owner) || owner->kind != PlatformWindow::MainWindow || owner->widget == nullptr) return 0;
    const RawDataResource* table = FindRawData(info->instance, info->resourceId);
    const MenuTemplate* menu = FindMenuTemplate(info->instance, info->resourceId);
    if (table == nullptr || menu == nullptr || table->words == nullptr || table->wordCount < 2) return 0;
    const int32_t count = table->words[1];
    if (count < 0 || table->wordCount < 2 + count * kButtonWords) return 0;

    auto* bar = new QWidget;
    bar->setObjectName(QStringLiteral("velkar-menubar"));
    bar->setAutoFillBackground(true);
    QPalette palette = bar->palette();
    palette.setColor(QPalette::Window, QColor(0xD4, 0xD0, 0xC8));
    bar->setPalette(palette);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(2, 1, 2, 1);
    row->setSpacing(2);
    for (int32_t b = 0; b < count; ++b) {
        const uint16_t* w = table->words + 2 + b * kButtonWords;
        const int32_t command = w[1];
        const uint16_t state = w[2];
        const uint16_t style = w[3];
        const char16_t* caption = FindString(info->instance, w[4]);
        const int32_t entry = w[6];
        if (caption == nullptr) {
            delete bar;
            return 0;
        }
        auto* button = new QToolButton(bar);
        button->setObjectName(QStringLiteral("menubar-%1").arg(command));
        button->setText(QStringOfText(caption));
        button->setAutoRaise(true);
        button->setEnabled((state & kStateEnabled) != 0);
        if (style & kStyleDropDown) {
            auto* popup = new QMenu(button);
            popup->setObjectName(QStringLiteral("menubar-popup-%1").arg(command));
            if (entry >= 0 && entry < menu->itemCount) {
                const MenuItemTemplate& top = menu->items[entry];
                if (top.popup != nullptr) FillMenu(popup, top.popup, top.popupCount, owner);
            }
            button->setMenu(popup);
            new OpenUpwards(button, popup);
            button->setPopupMode(QToolButton::InstantPopup);
            button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        } else {
            // Posted like a menu choice: a dialog it opens then runs from the main
            // loop, not from inside the button's own click.
            QObject::connect(button, &QToolButton::clicked, button, [owner, command]() { PostCommand(owner, command); });
        }
        row->addWidget(button);
    }
    row->addStretch(1);

    const QSize clientSize = owner->client->intendedSize;
    if (owner->menuBar != nullptr) owner->menuBar->deleteLater();
    owner->menuBar = bar;
    static_cast<QVBoxLayout*>(owner->widget->layout())->addWidget(bar, 0);
    ApplyClientSize(owner, clientSize.width(), clientSize.height());

    auto* handle = new PlatformWindow;
    handle->kind = PlatformWindow::MenuBar;
    handle->widget = bar;
    RegisterWindow(handle);
    info->menuBar = handle;
    return 1;
}
