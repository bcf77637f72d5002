#include "app/GuiFileList.h"

#include "app/GuiPlatform.h"

#include <QHeaderView>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QUrl>

namespace gui {

FileListModel::FileListModel(QStringList headings, QObject* parent)
    : QAbstractTableModel(parent), headings_(std::move(headings)) {
  rightAligned_.assign(std::max<qsizetype>(1, headings_.size()), false);
}

int FileListModel::AddRow(const QStringList& texts, std::optional<std::filesystem::path> tag) {
  const int row = RowCount();
  beginInsertRows({}, row, row);
  rows_.push_back({texts, std::move(tag)});
  endInsertRows();
  return row;
}

void FileListModel::Clear() {
  if (rows_.empty()) return;
  beginResetModel();
  rows_.clear();
  endResetModel();
}

QString FileListModel::Text(int row, int column) const {
  if (row < 0 || row >= RowCount()) return {};
  const QStringList& t = rows_[static_cast<size_t>(row)].texts;
  return column < t.size() ? t[column] : QString();
}

std::optional<std::filesystem::path> FileListModel::Tag(int row) const {
  if (row < 0 || row >= RowCount()) return std::nullopt;
  return rows_[static_cast<size_t>(row)].tag;
}

void FileListModel::SetRightAligned(int column, bool on) {
  if (column >= 0 && static_cast<size_t>(column) < rightAligned_.size()) rightAligned_[column] = on;
}

int FileListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : RowCount();
}

int FileListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rightAligned_.size());
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= RowCount()) return {};
  switch (role) {
    case Qt::DisplayRole:
      return Text(index.row(), index.column());
    case Qt::BackgroundRole:
      // The view paints the selection highlight over this for a selected row.
      return StripeColor(index.row());
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(Qt::AlignVCenter |
                                 (rightAligned_[index.column()] ? Qt::AlignRight : Qt::AlignLeft));
    default:
      return {};
  }
}

QVariant FileListModel::headerData(int section, Qt::Orientation o, int role) const {
  if (o != Qt::Horizontal || section < 0 || section >= headings_.size()) return {};
  if (role == Qt::DisplayRole) return headings_[section];
  if (role == Qt::TextAlignmentRole && rightAligned_[section])
    return QVariant::fromValue(Qt::AlignVCenter | Qt::AlignRight);
  return {};
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
  if (Tag(index.row())) f |= Qt::ItemIsDragEnabled;
  return f;
}

QStringList FileListModel::mimeTypes() const { return {QStringLiteral("text/uri-list")}; }

QMimeData* FileListModel::mimeData(const QModelIndexList& indexes) const {
  if (indexes.isEmpty()) return nullptr;
  const auto tag = Tag(indexes.front().row());
  std::error_code ec;
  if (!tag || !std::filesystem::exists(*tag, ec)) return nullptr;
  auto* mime = new QMimeData;
  mime->setUrls({QUrl::fromLocalFile(ToQString(*tag))});
  return mime;
}

FileListView::FileListView(QWidget* parent) : QTreeView(parent) {
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  header()->setSectionsMovable(false);
  header()->setStretchLastSection(true);
  connect(this, &QAbstractItemView::doubleClicked, this,
          [this](const QModelIndex& i) { emit rowDoubleClicked(i.row()); });
}

void FileListView::setModel(QAbstractItemModel* model) {
  QTreeView::setModel(model);
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { emit selectionChangedTo(SelectedRow()); });
  ApplyFractions();
}

int FileListView::SelectedRow() const {
  if (!selectionModel()) return -1;
  const QModelIndexList rows = selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.front().row();
}

void FileListView::SelectRow(int row) {
  if (!model() || row < 0 || row >= model()->rowCount()) return;
  const QModelIndex i = model()->index(row, 0);
  selectionModel()->setCurrentIndex(
      i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  scrollTo(i);
}

QItemSelectionModel::SelectionFlags FileListView::selectionCommand(const QModelIndex& index,
                                                                   const QEvent* event) const {
  // A click beside the rows or a Ctrl-click on the selected row would clear the selection.
  if (!index.isValid() && event && event->type() == QEvent::MouseButtonPress)
    return QItemSelectionModel::NoUpdate;
  QItemSelectionModel::SelectionFlags f = QTreeView::selectionCommand(index, event);
  if (f & (QItemSelectionModel::Deselect | QItemSelectionModel::Toggle))
    return index.isValid() ? QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows
                           : QItemSelectionModel::NoUpdate;
  return f;
}

void FileListView::SetColumnFractions(std::vector<double> fractions) {
  fractions_ = std::move(fractions);
  ApplyFractions();
}

void FileListView::resizeEvent(QResizeEvent* event) {
  QTreeView::resizeEvent(event);
  ApplyFractions();
}

void FileListView::ApplyFractions() {
  if (!model() || fractions_.empty()) return;
  // Every column gets its share of the visible width; the last takes what is left, so the
  // columns end exactly at the scroll bar.
  header()->setStretchLastSection(false);
  header()->setMinimumSectionSize(1);
  const int width = viewport()->width();
  const int columns = model()->columnCount();
  int used = 0;
  for (int c = 0; c < columns; ++c) {
    const bool last = c == columns - 1;
    const int w = last ? width - used
                       : static_cast<int>(width * (static_cast<size_t>(c) < fractions_.size() ? fractions_[c] : 0.0));
    setColumnWidth(c, std::max(1, w));
    used += w;
  }
}

}  // namespace gui
