#include "ui/instrumentlist.h"

namespace {

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Where to find it again: the file and the instrument's place in it.
QString Source(const BankInstrument& i) {
    return Text(i.File) + QStringLiteral(", #%1").arg(i.Index);
}

} // namespace

InstrumentList::InstrumentList(const BankCatalog& catalog, QObject* parent)
    : QAbstractTableModel(parent), catalog_(catalog) {}

void InstrumentList::Show(const std::string& search, KindFilter kind) {
    beginResetModel();
    search_ = search;
    kind_ = kind;
    rows_ = catalog_.Find(search_, kind_);
    endResetModel();
}

void InstrumentList::ShowNewFiles(size_t first) {
    const std::vector<CatalogEntry> found = catalog_.Find(search_, kind_, first);
    if (found.empty()) return;
    const int row = static_cast<int>(rows_.size());
    beginInsertRows({}, row, row + static_cast<int>(found.size()) - 1);
    rows_.insert(rows_.end(), found.begin(), found.end());
    endInsertRows();
}

const BankInstrument* InstrumentList::Instrument(int row) const {
    if (row < 0 || static_cast<size_t>(row) >= rows_.size()) return nullptr;
    return &catalog_.Instrument(rows_[static_cast<size_t>(row)]);
}

int InstrumentList::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int InstrumentList::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant InstrumentList::data(const QModelIndex& index, int role) const {
    const BankInstrument* i = Instrument(index.row());
    if (!i) return {};
    if (role == Qt::ToolTipRole) return Source(*i);
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
    case kName:
        return Text(i->Label());
    case kKind:
        return Text(KindName(i->Kind()));
    case kBank:
        return Text(BankLabel(*i));
    default:
        return {};
    }
}

QVariant InstrumentList::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kTitles[kColumnCount] = {"Name", "Kind", "Bank"};
    return section >= 0 && section < kColumnCount ? QString(kTitles[section]) : QVariant();
}
