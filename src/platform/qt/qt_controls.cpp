// Dialog controls built from their templates (push buttons, check boxes, edits,
// static texts and icons, combo boxes and list boxes), found by id, and the
// control messages and texts the dialog procedures use on them. Changes made by a
// control message are not notified back: only what the user does is.
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QValidator>

#include "base/text.h"
#include "platform/qt/qt_dialog_parts.h"
#include "platform/qt/qt_handles.h"
#include "platform/qt/qt_internal.h"

namespace {

constexpr uint32_t kBsCheckBox = 0x2;
constexpr uint32_t kBsTypeMask = 0xF;
constexpr uint32_t kCbsSimple = 0x1;
constexpr uint32_t kCbsDropDownList = 0x3;
constexpr uint32_t kCbsTypeMask = 0x3;
constexpr uint32_t kSsTypeMask = 0x1F;
constexpr intptr_t kListError = -1;

// A single-line edit without horizontal scrolling takes only what fits its width.
// Typing is checked; text set by the procedure is taken whole, as on the handheld.
class FitsWidthValidator : public QValidator {
public:
    explicit FitsWidthValidator(QLineEdit* edit) : QValidator(edit), edit_(edit) {}
    State validate(QString& input, int&) const override
    {
        const int frame = edit_->hasFrame() ? edit_->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) : 0;
        const QMargins m = edit_->textMargins();
        const int room = edit_->width() - 2 * frame - m.left() - m.right() - 4;  // 2 pixels a side inside
        return QFontMetrics(edit_->font()).horizontalAdvance(input) <= room ? Acceptable : Invalid;
    }

private:
    QLineEdit* edit_;
};

}  // namespace

QWidget* MakeControl(const ControlTemplate& c, WindowHandle dialog, QDialog* parent, QPushButton** defaultButton,
                     InstanceHandle instance)
{
    const QString text = QStringOfText(c.text);
    const int32_t id = c.id;
    switch (c.kind) {
    case ControlKind::Button: {
        const uint32_t type = c.style & kBsTypeMask;
        if (type == kBsAutoCheckBox || type == kBsCheckBox) {
            auto* box = new QCheckBox(text, parent);
            const bool automatic = type == kBsAutoCheckBox;
            QObject::connect(box, &QCheckBox::clicked, box, [box, dialog, id, automatic](bool) {
                // A plain check box leaves its state to the procedure.
                if (!automatic) box->setChecked(!box->isChecked());
                Notify(dialog, id, kNotifyClicked);
            });
            return box;
        }
        auto* button = new QPushButton(text, parent);
        button->setAutoDefault(false);
        if (type == kBsDefPushButton) {
            button->setDefault(true);
            *defaultButton = button;
        }
        QObject::connect(button, &QPushButton::clicked, button, [dialog, id]() { Notify(dialog, id, kNotifyClicked); });
        return button;
    }
    case ControlKind::Edit: {
        auto* edit = new QLineEdit(text, parent);
        edit->setReadOnly((c.style & kEsReadOnly) != 0);
        edit->setFrame((c.style & kWsBorder) != 0);
        edit->setTextMargins(0, 0, 0, 0);
        if (!(c.style & kEsAutoHScroll)) edit->setValidator(new FitsWidthValidator(edit));
        return edit;
    }
    case ControlKind::Static: {
        auto* label = new QLabel(parent);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        if ((c.style & kSsTypeMask) == kSsIcon) {
            if (IconHandle icon = LoadIconResource(instance, c.iconId)) {
                label->setPixmap(QPixmap::fromImage(icon->image));
                DestroyIconHandle(icon);
            }
        } else {
            label->setText(text);
            label->setWordWrap(true);
        }
        return label;
    }
    case ControlKind::ComboBox: {
        auto* combo = new QComboBox(parent);
        const uint32_t type = c.style & kCbsTypeMask;
        combo->setEditable(type == kCbsSimple || type == kCbsDropDown);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setMaxVisibleItems(8);
        if (combo->isEditable()) combo->setEditText(text);
        QObject::connect(combo, &QComboBox::currentIndexChanged, combo,
                         [dialog, id](int) { Notify(dialog, id, kNotifySelChange); });
        return combo;
    }
    case ControlKind::ListBox: {
        auto* list = new QListWidget(parent);
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->setFrameShape((c.style & kWsBorder) ? QFrame::StyledPanel : QFrame::NoFrame);
        list->setVerticalScrollBarPolicy((c.style & kWsVScroll) ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        if (c.style & kLbsNotify) {
            // Notified once the selection itself has moved: a mouse press moves the
            // current row first, and the procedure asks for the selection at once.
            QObject::connect(list, &QListWidget::itemSelectionChanged, list,
                             [dialog, id]() { Notify(dialog, id, kNotifySelChange); });
        }
        return list;
    }
    }
    return nullptr;
}

namespace {

QWidget* ControlOf(WindowHandle dialog, int32_t id)
{
    if (!IsLiveWindow(dialog) || dialog->kind != PlatformWindow::Dialog || dialog->widget == nullptr) return nullptr;
    for (QWidget* w : dialog->widget->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        QVariant v = w->property(kControlIdProperty);
        if (v.isValid() && v.toInt() == id) return w;
    }
    return nullptr;
}

// Runs a control message with the dialog's notifications held back: only what the
// user does is reported, as the controls do on the handheld.
template <typename F>
intptr_t Quietly(WindowHandle dialog, F&& f)
{
    const bool was = dialog->notifying;
    dialog->notifying = false;
    intptr_t result = f();
    dialog->notifying = was;
    return result;
}

int ListSelection(QListWidget* list)
{
    QListWidgetItem* item = list->currentItem();
    return (item != nullptr && item->isSelected()) ? list->currentRow() : -1;
}

}  // namespace

int SetDlgItemText(WindowHandle dialog, int32_t id, const char16_t* text)
{
    QWidget* w = ControlOf(dialog, id);
    if (w == nullptr) return 0;
    const QString t = QStringOfText(text);
    Quietly(dialog, [&]() -> intptr_t {
        if (auto* e = qobject_cast<QLineEdit*>(w)) {
            e->setText(t);
            e->setCursorPosition(0);
        } else if (auto* l = qobject_cast<QLabel*>(w)) {
            l->setText(t);
        } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            b->setText(t);
        } else if (auto* c = qobject_cast<QComboBox*>(w)) {
            if (c->isEditable()) c->setEditText(t);
        }
        return 1;
    });
    return 1;
}

int GetDlgItemText(WindowHandle dialog, int32_t id, char16_t* buffer, int capacity)
{
    if (buffer == nullptr || capacity <= 0) return 0;
    buffer[0] = 0;
    QWidget* w = ControlOf(dialog, id);
    if (w == nullptr) return 0;
    QString t;
    if (auto* e = qobject_cast<QLineEdit*>(w))
        t = e->text();
    else if (auto* l = qobject_cast<QLabel*>(w))
        t = l->text();
    else if (auto* b = qobject_cast<QAbstractButton*>(w))
        t = b->text();
    else if (auto* c = qobject_cast<QComboBox*>(w))
        t = c->currentText();
    const std::u16string units(reinterpret_cast<const char16_t*>(t.utf16()), static_cast<size_t>(t.size()));
    return static_cast<int>(CopyText(buffer, static_cast<size_t>(capacity), units.c_str()));
}

intptr_t SendDlgItemMessage(WindowHandle dialog, int32_t id, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    QWidget* w = ControlOf(dialog, id);
    if (w == nullptr) return 0;
    return Quietly(dialog, [&]() -> intptr_t {
        if (auto* box = qobject_cast<QCheckBox*>(w)) {
            switch (message) {
            case kCheckBoxGetCheck: return box->isChecked() ? 1 : 0;
            case kCheckBoxSetCheck: box->setChecked(wParam != 0); return 0;
            default: return 0;
            }
        }
        if (auto* combo = qobject_cast<QComboBox*>(w)) {
            switch (message) {
            case kComboAddString: {
                if (lParam == 0) return kListError;
                const int before = combo->currentIndex();
                const QString edit = combo->currentText();
                combo->addItem(QStringOfText(reinterpret_cast<const char16_t*>(lParam)));
                // Adding a string never selects it.
                if (before == -1) {
                    combo->setCurrentIndex(-1);
                    if (combo->isEditable()) combo->setEditText(edit);
                }
                return combo->count() - 1;
            }
            case kComboGetCurSel: return combo->currentIndex();
            case kComboSetCurSel: {
                const intptr_t index = static_cast<intptr_t>(wParam);
                if (index < 0 || index >= combo->count()) {
                    combo->setCurrentIndex(-1);
                    if (combo->isEditable()) combo->setEditText(QString());
                    return kListError;
                }
                combo->setCurrentIndex(static_cast<int>(index));
                return index;
            }
            default: return 0;
            }
        }
        if (auto* list = qobject_cast<QListWidget*>(w)) {
            switch (message) {
            case kListAddString:
                if (lParam == 0) return kListError;
                list->addItem(QStringOfText(reinterpret_cast<const char16_t*>(lParam)));
                return list->count() - 1;
            case kListGetCurSel: return ListSelection(list);
            case kListSetCurSel: {
                const intptr_t index = static_cast<intptr_t>(wParam);
                if (index < 0 || index >= list->count()) {
                    list->setCurrentRow(-1);
                    list->clearSelection();
                    return kListError;
                }
                list->setCurrentRow(static_cast<int>(index));
                return index;
            }
            default: return 0;
            }
        }
        return 0;
    });
}
