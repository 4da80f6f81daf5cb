#include "ui/toolkit.h"

#include "error.h"
#include "ui/accessible.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontDatabase>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QSlider>
#include <QStyleOptionSlider>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <turbojpeg.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

const char* const kApplicationTitle = "VI 801";

namespace {
void ShowBox(QMessageBox::Icon icon, const QString& text, const QString& caption) {
    const auto* application = dynamic_cast<const Application*>(QCoreApplication::instance());
    if (application && application->BoxHook()) {
        application->BoxHook()(icon, text, caption);
        return;
    }
    QMessageBox box(icon, caption, text, QMessageBox::Ok);
    box.exec();
}

// The style draws a bar's tick marks in the highlight colour while the bar
// has the focus or the mouse; they are drawn as for an idle bar instead.
class SteadyTicksStyle : public QProxyStyle {
public:
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                            QPainter* painter, const QWidget* widget) const override {
        const auto* slider = qstyleoption_cast<const QStyleOptionSlider*>(option);
        if (control != CC_Slider || !slider || !(slider->subControls & SC_SliderTickmarks)) {
            QProxyStyle::drawComplexControl(control, option, painter, widget);
            return;
        }
        QStyleOptionSlider ticks(*slider);
        ticks.subControls = SC_SliderTickmarks;
        ticks.activeSubControls = SC_None;
        ticks.state &= ~(State_HasFocus | State_MouseOver | State_Sunken);
        QProxyStyle::drawComplexControl(control, &ticks, painter, widget);
        QStyleOptionSlider rest(*slider);
        rest.subControls &= ~SC_SliderTickmarks;
        QProxyStyle::drawComplexControl(control, &rest, painter, widget);
    }
};
} // namespace

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    // Only the name: a display name would be appended to every window title.
    setApplicationName(kApplicationTitle);
    setStyle(new SteadyTicksStyle); // the application owns it
    InstallAccessibleLists();
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ShowErrorBox(QString::fromStdString(error.what()));
    }
    return false;
}

void Application::Terminate() {
    terminated_ = true;
    quit();
}

void ShowErrorBox(const QString& text) {
    ShowBox(QMessageBox::Critical, text, QString::fromUtf8(kApplicationTitle));
}

void ShowMessageBox(const QString& text, const QString& caption) {
    ShowBox(QMessageBox::Warning, text, caption);
}

MessageBoxHook Application::SetMessageBoxHook(MessageBoxHook hook) {
    MessageBoxHook previous = std::move(boxHook_);
    boxHook_ = std::move(hook);
    return previous;
}

void RunGuarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        ShowErrorBox(QString::fromStdString(error.what()));
    }
}

void OnClick(QAbstractButton* button, std::function<void()> handler) {
    QObject::connect(button, &QAbstractButton::clicked, button,
                     [handler = std::move(handler)] { RunGuarded(handler); });
}

void OnTrackBarChange(QSlider* bar, std::function<void()> handler) {
    // valueChanged comes after clamping and only when the value differs.
    QObject::connect(bar, &QSlider::valueChanged, bar,
                     [handler = std::move(handler)] { RunGuarded(handler); });
}

void OnCheckBoxClick(QCheckBox* box, std::function<void()> handler) {
    QObject::connect(box, &QCheckBox::toggled, box,
                     [handler = std::move(handler)] { RunGuarded(handler); });
}

void OnComboBoxChange(QComboBox* box, std::function<void()> handler) {
    auto guarded = [handler = std::move(handler)] { RunGuarded(handler); };
    QObject::connect(box, &QComboBox::activated, box, guarded);
    // textEdited, unlike textChanged, is the user's typing only.
    if (QLineEdit* edit = box->lineEdit())
        QObject::connect(edit, &QLineEdit::textEdited, box, guarded);
}

void OnComboBoxSelect(QComboBox* box, std::function<void()> handler) {
    QObject::connect(box, &QComboBox::activated, box,
                     [handler = std::move(handler)] { RunGuarded(handler); });
}

void RunComboBoxSelect(QComboBox* box) {
    emit box->activated(box->currentIndex());
}

namespace {
// Calls whichever of the three takes the control's kind.
template <typename Check, typename List, typename Bar>
auto ByKind(QWidget* control, Check check, List list, Bar bar) {
    if (auto* box = qobject_cast<QCheckBox*>(control)) return check(box);
    if (auto* combo = qobject_cast<QComboBox*>(control)) return list(combo);
    return bar(qobject_cast<QSlider*>(control));
}
} // namespace

int ControlValue(const QWidget* control) {
    return ByKind(
        const_cast<QWidget*>(control), [](QCheckBox* box) { return box->isChecked() ? 1 : 0; },
        [](QComboBox* list) { return list->currentIndex(); },
        [](QSlider* bar) { return bar->value(); });
}

void SetControlValue(QWidget* control, int value) {
    ByKind(
        control, [value](QCheckBox* box) { box->setChecked(value != 0); },
        [value](QComboBox* list) { list->setCurrentIndex(value); },
        [value](QSlider* bar) { bar->setValue(value); });
}

void OnControlChange(QWidget* control, std::function<void()> handler) {
    ByKind(
        control, [&handler](QCheckBox* box) { OnCheckBoxClick(box, std::move(handler)); },
        [&handler](QComboBox* list) { OnComboBoxSelect(list, std::move(handler)); },
        [&handler](QSlider* bar) { OnTrackBarChange(bar, std::move(handler)); });
}

namespace {
// Up and Down move the thumb their way through the inverted controls; Left
// and Right have no way on a vertical bar, so they do what they do on a
// horizontal one: Right more, Left less.
class SideKeys : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key != Qt::Key_Left && key != Qt::Key_Right) return false;
        static_cast<QSlider*>(watched)->triggerAction(key == Qt::Key_Right
                                                          ? QAbstractSlider::SliderSingleStepAdd
                                                          : QAbstractSlider::SliderSingleStepSub);
        return true;
    }
};

} // namespace

void SetMinimumAtTop(QSlider* bar) {
    bar->setOrientation(Qt::Vertical);
    bar->setInvertedAppearance(true);
    bar->setInvertedControls(true);
    bar->installEventFilter(new SideKeys(bar));
}

QStringList ItemList(std::span<const char* const> texts) {
    QStringList list;
    for (const char* text : texts)
        list << QString::fromUtf8(text);
    return list;
}

void SetUpList(QComboBox* box, const char* name, const QStringList& items, int left, int top,
               int width, int rows) {
    box->setObjectName(name);
    box->addItems(items);
    box->setMaxVisibleItems(rows);
    box->setGeometry(left, top, width, 21);
}

EditableComboBox* MakeEditList(QWidget* parent, const char* name, const QStringList& items,
                               const char* text, int left, int top, int width, int rows) {
    auto* box = new EditableComboBox(parent);
    box->setObjectName(name);
    box->addItems(items);
    box->setMaxVisibleItems(rows);
    box->setGeometry(left, top, width, 21);
    box->setCurrentIndex(-1);
    box->setEditText(QString::fromUtf8(text));
    return box;
}

QCheckBox* MakeCheck(QWidget* parent, const char* name, const char* text, int left, int top,
                     int width, bool checked) {
    auto* box = new QCheckBox(QString::fromUtf8(text), parent);
    box->setObjectName(name);
    box->setGeometry(left, top, width, 17);
    box->setChecked(checked);
    return box;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* text, int left, int top,
                        int width) {
    auto* button = new QPushButton(QString::fromUtf8(text), parent);
    button->setObjectName(name);
    button->setGeometry(left, top, width, 25);
    return button;
}

QFrame* MakePanel(QWidget* parent, const QString& name, int left, int top, int width, int height,
                  int style) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(name);
    panel->setFrameStyle(style);
    panel->setGeometry(left, top, width, height);
    return panel;
}

QSlider* MakeTrackBar(QWidget* parent, const char* name, int min, int max, int tick,
                      QRect geometry) {
    auto* bar = new QSlider(Qt::Horizontal, parent);
    bar->setObjectName(name);
    bar->setRange(min, max);
    bar->setTickPosition(QSlider::TicksAbove);
    bar->setTickInterval(tick);
    bar->setPageStep(tick);
    bar->setGeometry(geometry);
    return bar;
}

QFont StandardFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    return font;
}

namespace {
struct KeyPair {
    int qt;
    int vk;
};

// Keys of the numeric keypad whose code differs from the main keyboard's.
constexpr KeyPair kKeypadKeys[] = {
    {Qt::Key_Asterisk, 0x6A}, {Qt::Key_Plus, 0x6B},  {Qt::Key_Minus, 0x6D},
    {Qt::Key_Period, 0x6E},   {Qt::Key_Slash, 0x6F},
};

// Keys that give no character, and the space bar.
constexpr KeyPair kKeys[] = {
    {Qt::Key_Backspace, 0x08}, {Qt::Key_Tab, 0x09},      {Qt::Key_Backtab, 0x09},
    {Qt::Key_Return, 0x0D},    {Qt::Key_Enter, 0x0D},    {Qt::Key_Shift, 0x10},
    {Qt::Key_Control, 0x11},   {Qt::Key_Alt, 0x12},      {Qt::Key_Pause, 0x13},
    {Qt::Key_CapsLock, 0x14},  {Qt::Key_Escape, 0x1B},   {Qt::Key_Space, 0x20},
    {Qt::Key_PageUp, 0x21},    {Qt::Key_PageDown, 0x22}, {Qt::Key_End, 0x23},
    {Qt::Key_Home, 0x24},      {Qt::Key_Left, 0x25},     {Qt::Key_Up, 0x26},
    {Qt::Key_Right, 0x27},     {Qt::Key_Down, 0x28},     {Qt::Key_Print, 0x2C},
    {Qt::Key_Insert, 0x2D},    {Qt::Key_Delete, 0x2E},   {Qt::Key_Meta, 0x5B},
    {Qt::Key_Menu, 0x5D},      {Qt::Key_NumLock, 0x90},  {Qt::Key_ScrollLock, 0x91},
};

// Character keys of a US layout: each code and the characters its key gives,
// unshifted and shifted. Qt's code of such a key is its character.
struct CharacterKey {
    int vk;
    const char* characters;
};
constexpr CharacterKey kCharacterKeys[] = {
    {'0', ")"},    {'1', "!"},   {'2', "@"},    {'3', "#"},   {'4', "$"},   {'5', "%"},
    {'6', "^"},    {'7', "&"},   {'8', "*"},    {'9', "("},   {0xBA, ";:"}, {0xBB, "=+"},
    {0xBC, ",<"},  {0xBD, "-_"}, {0xBE, ".>"},  {0xBF, "/?"}, {0xC0, "`~"}, {0xDB, "[{"},
    {0xDC, "\\|"}, {0xDD, "]}"}, {0xDE, "'\""},
};

int CharacterKeyCode(int key) {
    if (key <= 0x20 || key > 0x7E) return 0;
    for (const CharacterKey& k : kCharacterKeys)
        if (std::strchr(k.characters, key)) return k.vk;
    return 0;
}

int Lookup(std::span<const KeyPair> table, int key) {
    for (const KeyPair& pair : table)
        if (pair.qt == key) return pair.vk;
    return 0;
}
} // namespace

int VirtualKeyCode(int key, Qt::KeyboardModifiers modifiers) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return key; // Qt's letter codes are the upper-case characters
    const bool keypad = (modifiers & Qt::KeypadModifier) != 0;
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return keypad ? 0x60 + (key - Qt::Key_0) : key;
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return 0x70 + (key - Qt::Key_F1);
    if (keypad)
        if (const int code = Lookup(kKeypadKeys, key)) return code;
    if (const int code = Lookup(kKeys, key)) return code;
    return CharacterKeyCode(key);
}

int VirtualKeyCode(const QKeyEvent& event) {
    return VirtualKeyCode(event.key(), event.modifiers());
}

MessageWindow::MessageWindow(QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags) {}

bool MessageWindow::event(QEvent* event) {
    if (event->type() == PostedMessage::EventType()) {
        Dispatch(static_cast<const PostedMessage&>(*event));
        return true;
    }
    return QWidget::event(event);
}

void MessageWindow::Dispatch(const PostedMessage&) {}

EditableComboBox::EditableComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    setCompleter(nullptr);
    setInsertPolicy(QComboBox::NoInsert);
    QLineEdit* edit = lineEdit();
    // Qt picks the item matching the text when the box loses the focus, as
    // if the user had chosen it: clicking "Save" would load the named preset
    // over the edited sound before saving it.
    QObject::disconnect(edit, &QLineEdit::editingFinished, this, nullptr);
    // The typed text is no item any more, so none stays selected.
    QObject::connect(edit, &QLineEdit::textEdited, this, [this, edit] {
        if (currentIndex() < 0) return;
        const QString text = edit->text();
        const int cursor = edit->cursorPosition();
        setCurrentIndex(-1); // clears the text too
        edit->setText(text);
        edit->setCursorPosition(cursor);
    });
}

void EditableComboBox::OnKeyUp(std::function<void(int)> handler) {
    keyUp_ = std::move(handler);
}

void EditableComboBox::keyPressEvent(QKeyEvent* event) {
    // On Enter Qt would pick the item matching the text by itself; here the
    // key-up handler alone decides what Enter does.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QComboBox::keyPressEvent(event);
}

void EditableComboBox::keyReleaseEvent(QKeyEvent* event) {
    QComboBox::keyReleaseEvent(event);
    // An auto-repeated key gives one release, when it is really let go.
    if (event->isAutoRepeat() || !keyUp_) return;
    const int code = VirtualKeyCode(*event);
    RunGuarded([&] { keyUp_(code); });
}

namespace {
constexpr int kValueRowHeight = 18;
}

namespace {
// Where a value keeps the name its editor takes.
constexpr int kEditorNameRole = Qt::UserRole;

// A value is edited in a line named as the value.
class ValueDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (editor) {
            editor->setAccessibleName(index.data(kEditorNameRole).toString());
            editor->setAccessibleDescription(index.data(Qt::AccessibleDescriptionRole).toString());
        }
        return editor;
    }
};
} // namespace

ValueListEditor::ValueListEditor(QWidget* parent) : QTableWidget(0, 2, parent) {
    setItemDelegateForColumn(1, new ValueDelegate(this));
    verticalHeader()->hide();
    // Rows as tall as a line of the 11 px font, as a list of settings is drawn.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(kValueRowHeight);
    // The value column takes what the keys leave: nothing to scroll sideways.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setStretchLastSection(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                    QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
}

void ValueListEditor::SetTitles(const QString& keyTitle, const QString& valueTitle) {
    setHorizontalHeaderLabels({keyTitle, valueTitle});
}

void ValueListEditor::AddRow(const QString& key, const QString& value) {
    const int row = rowCount();
    insertRow(row);
    auto* keyItem = new QTableWidgetItem(key);
    keyItem->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    setItem(row, 0, keyItem);
    setItem(row, 1, new QTableWidgetItem(value));
}

QString ValueListEditor::Key(int row) const {
    const QTableWidgetItem* keyItem = item(row, 0);
    return keyItem ? keyItem->text() : QString();
}

QString ValueListEditor::Value(const QString& key) const {
    for (int row = 0; row < rowCount(); ++row)
        if (Key(row) == key) return item(row, 1) ? item(row, 1)->text() : QString();
    return {};
}

void ValueListEditor::SetValue(const QString& key, const QString& value) {
    for (int row = 0; row < rowCount(); ++row)
        if (Key(row) == key) {
            item(row, 1)->setText(value);
            return;
        }
}

void ValueListEditor::SetValueAccessible(int row, const QString& name, const QString& description) {
    if (QTableWidgetItem* value = item(row, 1)) {
        value->setData(kEditorNameRole, name);
        value->setData(Qt::AccessibleDescriptionRole, description);
    }
}

QString ValueListEditor::ValueTip(int row) const {
    const QTableWidgetItem* value = item(row, 1);
    return value && valueTip_ ? valueTip_(value->text()) : QString();
}

bool ValueListEditor::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip && valueTip_) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = indexAt(help->pos());
        if (index.isValid() && index.column() == 1) {
            QToolTip::showText(help->globalPos(), ValueTip(index.row()), viewport(),
                               visualRect(index));
            return true;
        }
    }
    return QTableWidget::viewportEvent(event);
}

void FreshList::showPopup() {
    if (open_) RunGuarded(open_);
    QComboBox::showPopup();
}

namespace {
// The area of a rectangle that lies in another.
int Overlap(const QRect& a, const QRect& b) {
    const QRect both = a.intersected(b);
    return both.isEmpty() ? 0 : both.width() * both.height();
}
} // namespace

QPoint PlaceBeside(const QRect& owner, const QRect& keepClear, const QSize& size,
                   const QRect& screen) {
    const auto inside = [&](QPoint at) {
        at.setX(std::clamp(at.x(), screen.left(),
                           std::max(screen.left(), screen.right() + 1 - size.width())));
        at.setY(std::clamp(at.y(), screen.top(),
                           std::max(screen.top(), screen.bottom() + 1 - size.height())));
        return at;
    };
    const QPoint sides[] = {
        {owner.right() + 1, owner.top()},
        {owner.left() - size.width(), owner.top()},
        {owner.left(), owner.bottom() + 1},
        {owner.left(), owner.top() - size.height()},
    };
    QPoint best;
    std::pair<int, int> least{INT_MAX, INT_MAX};
    for (const QPoint& side : sides) {
        const QPoint at = inside(side);
        const QRect placed(at, size);
        const std::pair<int, int> covered{Overlap(placed, keepClear), Overlap(placed, owner)};
        if (covered.second == 0) return at;
        if (covered < least) {
            least = covered;
            best = at;
        }
    }
    return best;
}

namespace {
// Relative luminance of an sRGB colour.
double Luminance(const QColor& colour) {
    const auto linear = [](double c) {
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
           0.0722 * linear(colour.blueF());
}
} // namespace

double ContrastRatio(const QColor& a, const QColor& b) {
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

JpegImage::JpegImage(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

namespace {
QImage DecodeJpegFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw Error("Couldn't open picture '" + path + "'");
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return DecodeJpeg(bytes.str(), path);
}
} // namespace

int PictureScale(qreal ratio) {
    constexpr int kLargest = 3;
    return std::clamp(static_cast<int>(std::ceil(ratio - 1e-6)), 1, kLargest);
}

std::string ScaledPicturePath(const std::string& path, int scale) {
    if (scale <= 1) return path;
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    const size_t end =
        dot == std::string::npos || (slash != std::string::npos && dot < slash) ? path.size() : dot;
    return path.substr(0, end) + "@" + std::to_string(scale) + "x" + path.substr(end);
}

void JpegImage::Load(const std::string& path) {
    Load(path, devicePixelRatioF());
}

void JpegImage::Load(const std::string& path, qreal ratio) {
    int scale = PictureScale(ratio);
    for (; scale > 1; --scale) {
        try {
            picture_ = DecodeJpegFile(ScaledPicturePath(path, scale));
            break;
        } catch (const Error&) {
            // the next smaller one
        }
    }
    if (scale == 1) picture_ = DecodeJpegFile(path);
    QPixmap pixmap = QPixmap::fromImage(picture_);
    pixmap.setDevicePixelRatio(scale);
    setPixmap(pixmap);
}

QImage DecodeJpeg(const std::string& bytes, const std::string& what) {
    const std::string message = "Couldn't read picture '" + what + "'";
    std::unique_ptr<void, int (*)(tjhandle)> handle(tjInitDecompress(), tjDestroy);
    if (!handle) throw Error(message);
    auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto size = static_cast<unsigned long>(bytes.size());
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    if (bytes.empty() ||
        tjDecompressHeader3(handle.get(), data, size, &width, &height, &subsampling, &colorspace) !=
            0 ||
        width <= 0 || height <= 0)
        throw Error(message);
    QImage image(width, height, QImage::Format_RGB888);
    if (image.isNull()) throw Error(message);
    // Rows of a QImage are padded to 4 bytes: the pitch must say so.
    // A warning (such as a truncated file) counts as broken too.
    if (tjDecompress2(handle.get(), data, size, image.bits(), width,
                      static_cast<int>(image.bytesPerLine()), height, TJPF_RGB, 0) != 0)
        throw Error(message);
    return image;
}
