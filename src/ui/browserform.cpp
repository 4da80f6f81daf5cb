#include "ui/browserform.h"

#include "ui/accessible.h"
#include "ui/accessiblenames.h"
#include "ui/bankreader.h"
#include "ui/instrumentlist.h"
#include "ui/toolkit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace fs = std::filesystem;

namespace {

constexpr int kRefusedRows = 4;

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

QString FileDialogFilter() {
    QString patterns;
    for (const char* ext : {"wopl", "opli", "op2", "tmb", "ibk", "bnk", "sbi"})
        patterns += QStringLiteral("*.%1 *.%2 ").arg(ext, QString(ext).toUpper());
    return "Bank files (" + patterns.trimmed() + ");;All files (*)";
}

// Local files of a drop; anything else (text, web addresses) is not ours.
std::vector<fs::path> DroppedFiles(const QMimeData* data) {
    std::vector<fs::path> paths;
    if (!data || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) paths.emplace_back(url.toLocalFile().toStdString());
    return paths;
}

fs::path Spelled(const fs::path& path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    return (error ? path : absolute).lexically_normal();
}

} // namespace

TFormBrowser::TFormBrowser(QWidget* owner, fs::path library, Actions actions)
    : QWidget(owner, Qt::Window), library_(std::move(library)), actions_(std::move(actions)),
      previewTimer_(std::make_unique<QTimer>()) {
    setObjectName("FormBrowser");
    setWindowTitle("Sound Browser - VI 801");
    setFont(StandardFont());
    setAcceptDrops(true);
    resize(640, 480);

    list_ = new InstrumentList(catalog_, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(BuildTopRow());
    TableInstruments = new QTableView(this);
    TableInstruments->setObjectName("TableInstruments");
    TableInstruments->setModel(list_);
    TableInstruments->setSelectionBehavior(QAbstractItemView::SelectRows);
    TableInstruments->setSelectionMode(QAbstractItemView::SingleSelection);
    TableInstruments->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TableInstruments->setAlternatingRowColors(true);
    TableInstruments->setWordWrap(false);
    TableInstruments->verticalHeader()->hide();
    TableInstruments->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    TableInstruments->horizontalHeader()->setStretchLastSection(true);
    TableInstruments->setColumnWidth(InstrumentList::kName, 220);
    TableInstruments->setColumnWidth(InstrumentList::kKind, 90);
    layout->addWidget(TableInstruments, 1);
    layout->addWidget(BuildBottomRow());
    LabelRefused = new QLabel(this);
    LabelRefused->setObjectName("LabelRefused");
    layout->addWidget(LabelRefused);
    ListRefused = new QListWidget(this);
    ListRefused->setObjectName("ListRefused");
    ListRefused->setFixedHeight(kRefusedRows * (fontMetrics().height() + 4) + 4);
    layout->addWidget(ListRefused);

    previewTimer_->setSingleShot(true);
    reader_ = std::make_unique<BankReader>(
        this, [this](BankReader::Batch reads) { Take(std::move(reads)); },
        [this] { ShowStatus(); });
    Connect();
    ShowRefused();
    ShowStatus();
    for (QWidget* control :
         std::initializer_list<QWidget*>{EditSearch, ComboBoxKind, ButtonOpen, ButtonReload,
                                         TableInstruments, CheckBoxPreview, ListRefused})
        SetAccessible(control, ControlAccessible(control->objectName().toStdString()));
}

TFormBrowser::~TFormBrowser() {
    actions_ = {}; // a window going away plays nothing more
}

QWidget* TFormBrowser::BuildTopRow() {
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel("Search", row));
    EditSearch = new QLineEdit(row);
    EditSearch->setObjectName("EditSearch");
    EditSearch->setPlaceholderText("instrument or bank name");
    EditSearch->setClearButtonEnabled(true);
    layout->addWidget(EditSearch, 1);
    layout->addWidget(new QLabel("Kind", row));
    ComboBoxKind = new QComboBox(row);
    ComboBoxKind->setObjectName("ComboBoxKind");
    for (KindFilter filter : kKindFilters) {
        const std::string_view name = KindFilterName(filter);
        ComboBoxKind->addItem(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
    }
    layout->addWidget(ComboBoxKind);
    ButtonOpen = new QPushButton("Open...", row);
    ButtonOpen->setObjectName("ButtonOpen");
    ButtonOpen->setToolTip("Add bank files to the list (or drop them onto this window)");
    layout->addWidget(ButtonOpen);
    ButtonReload = new QPushButton("Reload", row);
    ButtonReload->setObjectName("ButtonReload");
    ButtonReload->setToolTip("Read the library folder and the opened files again");
    layout->addWidget(ButtonReload);
    return row;
}

QWidget* TFormBrowser::BuildBottomRow() {
    auto* row = new QWidget(this);
    auto* layout = new QVBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* line = new QHBoxLayout;
    CheckBoxPreview = new QCheckBox("Preview", row);
    CheckBoxPreview->setObjectName("CheckBoxPreview");
    CheckBoxPreview->setToolTip("Play a note on the MIDI channel chosen in the main window "
                                "when an instrument is chosen");
    line->addWidget(CheckBoxPreview);
    LabelStatus = new QLabel(row);
    LabelStatus->setObjectName("LabelStatus");
    LabelStatus->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    line->addWidget(LabelStatus, 1);
    layout->addLayout(line);
    LabelLibrary = new QLabel(row);
    LabelLibrary->setObjectName("LabelLibrary");
    LabelLibrary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LabelLibrary->setText(library_.empty() ? QString("No library folder")
                                           : "Library folder: " + Text(library_.string()));
    layout->addWidget(LabelLibrary);
    return row;
}

void TFormBrowser::Connect() {
    connect(EditSearch, &QLineEdit::textChanged, this,
            [this] { RunGuarded([this] { Refilter(); }); });
    connect(ComboBoxKind, &QComboBox::currentIndexChanged, this,
            [this] { RunGuarded([this] { Refilter(); }); });
    OnClick(ButtonOpen, [this] { ButtonOpenClick(); });
    OnClick(ButtonReload, [this] { ReadLibrary(); });
    // The user's choice: a click, the cursor keys, Enter or a double click
    // to hear the same one again. A list made anew selects nothing.
    connect(TableInstruments->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                RunGuarded([this, current] { ChooseRow(current.row()); });
            });
    connect(TableInstruments, &QAbstractItemView::activated, this,
            [this](const QModelIndex& index) {
                RunGuarded([this, index] { ChooseRow(index.row()); });
            });
    connect(previewTimer_.get(), &QTimer::timeout, this, [this] { EndPreview(); });
}

void TFormBrowser::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!libraryRead_) ReadLibrary();
}

void TFormBrowser::hideEvent(QHideEvent* event) {
    EndPreview();
    QWidget::hideEvent(event);
}

void TFormBrowser::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedFiles(event->mimeData()).empty()) event->acceptProposedAction();
}

void TFormBrowser::dropEvent(QDropEvent* event) {
    const std::vector<fs::path> paths = DroppedFiles(event->mimeData());
    if (paths.empty()) return;
    event->acceptProposedAction();
    OpenFiles(paths);
}

void TFormBrowser::ReadLibrary() {
    libraryRead_ = true;
    catalog_.Clear();
    Refilter();
    std::vector<fs::path> paths;
    if (!library_.empty()) {
        std::error_code error;
        fs::create_directories(library_, error);
        if (error)
            catalog_.Add({library_, std::nullopt,
                          library_.string() + ": can't make the folder: " + error.message()});
        else
            paths.push_back(library_);
    }
    paths.insert(paths.end(), opened_.begin(), opened_.end());
    reader_->Read(paths);
    ShowRefused();
    ShowStatus();
}

void TFormBrowser::OpenFiles(const std::vector<fs::path>& paths) {
    std::vector<fs::path> spelled;
    for (const fs::path& path : paths) {
        spelled.push_back(Spelled(path));
        if (std::find(opened_.begin(), opened_.end(), spelled.back()) == opened_.end())
            opened_.push_back(spelled.back());
    }
    reader_->Read(spelled);
    ShowStatus();
}

void TFormBrowser::ButtonOpenClick() {
    const QStringList files =
        QFileDialog::getOpenFileNames(this, "Open bank files", {}, FileDialogFilter());
    std::vector<fs::path> paths;
    for (const QString& file : files)
        paths.emplace_back(file.toStdString());
    if (!paths.empty()) OpenFiles(paths);
}

bool TFormBrowser::Reading() const {
    return reader_->Busy();
}

const BankInstrument* TFormBrowser::Shown(int row) const {
    return list_->Instrument(row);
}

void TFormBrowser::Refilter() {
    const int kind = std::max(ComboBoxKind->currentIndex(), 0);
    list_->Show(EditSearch->text().toStdString(), kKindFilters[static_cast<size_t>(kind)]);
    ShowStatus();
}

// New files' rows come below those shown, so the row being looked at
// stays; a file read again makes the list anew.
void TFormBrowser::Take(std::vector<BankRead> reads) {
    const size_t first = catalog_.FileCount();
    bool again = false;
    for (BankRead& read : reads)
        again = !catalog_.Add(std::move(read)) || again;
    if (again) {
        Refilter();
        ShowRefused();
    } else {
        list_->ShowNewFiles(first);
        for (size_t f = first; f < catalog_.FileCount(); ++f)
            if (!catalog_.File(f).Bank) AddRefused(catalog_.File(f));
    }
    ShowStatus();
}

void TFormBrowser::ShowStatus() {
    const size_t instruments = catalog_.InstrumentCount();
    QString text = QStringLiteral("Showing %1 of %2 instruments from %3 bank files")
                       .arg(list_->rowCount())
                       .arg(instruments)
                       .arg(catalog_.BankCount());
    if (Reading()) text = "Reading... " + text;
    LabelStatus->setText(text);
}

// One line per file not read, with its reason; no box to click away.
void TFormBrowser::ShowRefused() {
    ListRefused->clear();
    for (const BankRead* file : catalog_.RefusedFiles())
        AddRefused(*file);
    ShowRefusedCount();
}

void TFormBrowser::AddRefused(const BankRead& file) {
    ListRefused->addItem(Text(ShortReason(file)));
    ListRefused->item(ListRefused->count() - 1)->setToolTip(Text(file.Reason));
    ShowRefusedCount();
}

void TFormBrowser::ShowRefusedCount() {
    const int count = ListRefused->count();
    LabelRefused->setText(QStringLiteral("Not read (%1):").arg(count));
    LabelRefused->setVisible(count > 0);
    ListRefused->setVisible(count > 0);
}

void TFormBrowser::ChooseRow(int row) {
    const BankInstrument* instrument = list_->Instrument(row);
    if (!instrument || !actions_.choose) return;
    EndPreview();
    actions_.choose(*instrument);
    if (!CheckBoxPreview->isChecked() || !actions_.play) return;
    previewNote_ = PreviewNote(*instrument);
    actions_.play(*previewNote_, true);
    previewTimer_->start(kPreviewMs);
}

void TFormBrowser::EndPreview() {
    previewTimer_->stop();
    if (previewNote_ && actions_.play) actions_.play(*previewNote_, false);
    previewNote_.reset();
}
