// The striped lists of the windows: the result list, the errors list and the list of files
// modified today. Each row holds a text per column and may carry a file (the row's tag);
// rows that are not selected are painted in the stripe colours, and a row whose file exists
// can be dragged out as that file.
//
//   FileListModel model({"Files", "Removed"});
//   model.AddRow({"∼/index.html", "120 bytes"}, copy / "index.html");
//   model.AddRow({"Total bytes removed: ", "120 bytes"});   // no tag
#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <QTreeView>

#include <filesystem>
#include <optional>
#include <vector>

namespace gui {

class FileListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // One column per heading; an empty list of headings gives one column without heading.
  explicit FileListModel(QStringList headings, QObject* parent = nullptr);

  // Appends a row; returns its number.
  int AddRow(const QStringList& texts, std::optional<std::filesystem::path> tag = std::nullopt);
  void Clear();
  int RowCount() const { return static_cast<int>(rows_.size()); }
  QString Text(int row, int column) const;
  // The row's file, if it has one (whether or not it still exists).
  std::optional<std::filesystem::path> Tag(int row) const;
  // Columns whose text is right-aligned.
  void SetRightAligned(int column, bool on = true);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation o, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QStringList mimeTypes() const override;
  // The file of the dragged row as a file URL; nothing (no drag) when it has none or it is gone.
  QMimeData* mimeData(const QModelIndexList& indexes) const override;
  Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }

 private:
  struct Row {
    QStringList texts;
    std::optional<std::filesystem::path> tag;
  };
  QStringList headings_;
  std::vector<Row> rows_;
  std::vector<bool> rightAligned_;
};

// A list of rows (no tree), single selection. A row once selected cannot be deselected by
// clicking; the selection moves only to another row.
class FileListView : public QTreeView {
  Q_OBJECT

 public:
  explicit FileListView(QWidget* parent = nullptr);

  // The selected row, or -1.
  int SelectedRow() const;
  void SelectRow(int row);
  // Column widths as fractions of the visible width (0.75, 0.25); empty: the view's own.
  void SetColumnFractions(std::vector<double> fractions);
  void setModel(QAbstractItemModel* model) override;

 signals:
  // The selection changed (a row is selected or none is).
  void selectionChangedTo(int row);
  void rowDoubleClicked(int row);

 protected:
  QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                       const QEvent* event) const override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void ApplyFractions();
  std::vector<double> fractions_;
};

}  // namespace gui
