#pragma once
// The sound browser: every instrument of the bank files in the user's
// library folder and of the files opened or dropped onto it, with a search
// over instrument and bank names and a kind filter. Choosing an instrument
// hands it to the owner, which applies it as a preset; with "Preview"
// checked a note plays for a moment too. Shown by the main window; closing
// only hides it.
#include "presets/formats/bankcatalog.h"

#include <QWidget>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class BankReader;
class InstrumentList;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableView;
class QTimer;

class TFormBrowser : public QWidget {
public:
    struct Actions {
        std::function<void(const BankInstrument&)> choose; // applies it
        std::function<void(uint8_t note, bool on)> play;   // a preview note
    };
    // How long a preview note sounds.
    static constexpr int kPreviewMs = 700;

    // library: the folder listed, made when the window first shows; empty
    // for none.
    TFormBrowser(QWidget* owner, std::filesystem::path library, Actions actions);
    ~TFormBrowser() override;

    // Reads the library again, and every file opened since.
    void ReadLibrary();
    // Files or folders (their files), listed as each is read.
    void OpenFiles(const std::vector<std::filesystem::path>& paths);
    // Something asked for is still being read.
    bool Reading() const;
    const BankCatalog& Catalog() const { return catalog_; }
    // The instrument of a row of the list as shown; nullptr for none.
    const BankInstrument* Shown(int row) const;

    QLineEdit* EditSearch;
    QComboBox* ComboBoxKind; // kKindFilters, in order
    QPushButton* ButtonOpen;
    QPushButton* ButtonReload;
    QTableView* TableInstruments;
    QCheckBox* CheckBoxPreview;
    QLabel* LabelStatus;
    QLabel* LabelLibrary;
    QLabel* LabelRefused;
    QListWidget* ListRefused;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QWidget* BuildTopRow();
    QWidget* BuildBottomRow();
    void Connect();
    void ButtonOpenClick();
    void Refilter();
    void Take(std::vector<BankRead> reads);
    void ShowStatus();
    void ShowRefused();
    void AddRefused(const BankRead& file);
    void ShowRefusedCount();
    void ChooseRow(int row);
    void EndPreview();

    const std::filesystem::path library_;
    Actions actions_;
    BankCatalog catalog_;
    std::vector<std::filesystem::path> opened_; // by hand, in order
    InstrumentList* list_;
    std::unique_ptr<QTimer> previewTimer_;
    std::optional<uint8_t> previewNote_; // sounding
    bool libraryRead_ = false;
    std::unique_ptr<BankReader> reader_; // last: stopped first
};
