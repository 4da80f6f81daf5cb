#pragma once
// The sound browser's list: the instruments of a catalog that a search and
// a kind show, one row each (name, kind, bank), as a model for a view.
#include "presets/formats/bankcatalog.h"

#include <QAbstractTableModel>

#include <string>
#include <vector>

class InstrumentList : public QAbstractTableModel {
public:
    enum Column { kName, kKind, kBank, kColumnCount };

    InstrumentList(const BankCatalog& catalog, QObject* parent);

    // Shows what the search and kind find now: the rows are made anew.
    void Show(const std::string& search, KindFilter kind);
    // The catalog's files from `first` on are new: the instruments found
    // in them are added below the others.
    void ShowNewFiles(size_t first);
    // Nullptr for a row that is not there.
    const BankInstrument* Instrument(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    const BankCatalog& catalog_;
    std::string search_;
    KindFilter kind_;
    std::vector<CatalogEntry> rows_;
};
