#include "ufrmConnectInfo.h"

#include <QHeaderView>
#include <QScreen>

#include <algorithm>
#include <climits>

#include "platform/Exception.h"

namespace iqo {

namespace {

constexpr int kDataRowHeight = 22;
constexpr int kHeaderRowHeight = 30;
constexpr std::array<int, kConnectInfoColumns.size()> kColumnWidths{200, 405, 122, 113, 107};

// White header with bold dark grey text, light grid lines, a blue active cell.
constexpr const char* kGridStyle =
    "QTableWidget { gridline-color: #D4D4D4; border: 1px solid #ABABAB;"
    " selection-background-color: #A5B9D1; selection-color: #484644; }"
    "QTableWidget::item:focus { background-color: #4A78B0; color: #484644; font-weight: bold; }"
    "QHeaderView { background-color: white; }"
    "QHeaderView::section { background-color: white; color: #3B3B3B;"
    " border: none; border-right: 1px solid #ABABAB; border-bottom: 1px solid #ABABAB; padding-left: 4px; }";

// Where Tahoma is missing, Liberation Sans keeps the captions within the positions laid out for it.
QFont DialogFont(bool bold) {
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans")});
    font.setPointSize(8);
    font.setBold(bold);
    return font;
}

// Five columns under one header row, no row header, cells editable in place.
void SetUpGrid(QTableWidget& grid) {
    grid.setStyleSheet(QString::fromLatin1(kGridStyle));
    grid.setColumnCount(static_cast<int>(kConnectInfoColumns.size()));
    QStringList headers;
    for (const auto& column : kConnectInfoColumns) headers << QString::fromUtf8(column.Header);
    grid.setHorizontalHeaderLabels(headers);
    QHeaderView* header = grid.horizontalHeader();
    header->setFont(DialogFont(true));
    header->setSectionResizeMode(QHeaderView::Fixed);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setHighlightSections(false);
    for (int column = 0; column < static_cast<int>(kColumnWidths.size()); ++column)
        grid.setColumnWidth(column, kColumnWidths[column]);
    QHeaderView* rows = grid.verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setMinimumSectionSize(kDataRowHeight);
    rows->setDefaultSectionSize(kDataRowHeight);
    grid.setRowCount(1);
    grid.setShowGrid(true);
    grid.setWordWrap(false);
    grid.setSelectionMode(QAbstractItemView::ContiguousSelection);
    grid.setSelectionBehavior(QAbstractItemView::SelectItems);
    // Typing, F2, a double click or a click on the current cell edit it; moving alone does not.
    grid.setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed |
                         QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked);
}

}  // namespace

TfrmConnectInfo::TfrmConnectInfo(const std::string& settingsFolder)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint),
      FModel(settingsFolder),
      Label1(this),
      Label2(this),
      edtConnection(this),
      gridSettings(this),
      btnOK(this),
      btnCancel(this),
      FErrorBox(QMessageBox::Critical, QStringLiteral("iqoRiveDur"), QString(), QMessageBox::Ok, this) {
    setObjectName(QStringLiteral("frmConnectInfo"));
    setWindowTitle(QStringLiteral("Connection Information"));
    setFont(DialogFont(false));
    setFixedSize(997, 483);

    Label1.setObjectName(QStringLiteral("Label1"));
    Label1.setFont(DialogFont(true));
    Label1.setText(QStringLiteral("Define the connection settings for Firebird databases holding loaded widgets"));
    Label1.move(8, 8);
    Label1.adjustSize();

    Label2.setObjectName(QStringLiteral("Label2"));
    Label2.setText(QStringLiteral("Connection No: "));
    Label2.move(8, 44);
    Label2.adjustSize();

    edtConnection.setObjectName(QStringLiteral("edtConnection"));
    edtConnection.setGeometry(91, 44, 46, 22);
    edtConnection.setRange(INT_MIN, TConnectInfoModel::kMaxCount);
    edtConnection.setValue(1);

    gridSettings.setObjectName(QStringLiteral("gridSettings"));
    gridSettings.setGeometry(8, 72, 981, 370);
    SetUpGrid(gridSettings);

    btnOK.setObjectName(QStringLiteral("btnOK"));
    btnOK.setText(QStringLiteral("OK"));
    btnOK.setGeometry(8, 448, 75, 25);
    btnCancel.setObjectName(QStringLiteral("btnCancel"));
    btnCancel.setText(QStringLiteral("Cancel"));
    btnCancel.setGeometry(89, 448, 75, 25);
    // Enter finishes a cell or the count; it must not save the file on the way.
    for (QPushButton* button : {&btnOK, &btnCancel}) button->setAutoDefault(false);

    setTabOrder(&edtConnection, &btnOK);
    setTabOrder(&btnOK, &btnCancel);
    setTabOrder(&btnCancel, &gridSettings);
    edtConnection.setFocus();

    connect(&edtConnection, &QSpinBox::valueChanged, this, &TfrmConnectInfo::edtConnectionChange);
    connect(&btnOK, &QPushButton::clicked, this, &TfrmConnectInfo::btnOKClick);
    connect(&btnCancel, &QPushButton::clicked, this, &TfrmConnectInfo::btnCancelClick);

    if (const QScreen* desktop = screen()) move(desktop->availableGeometry().center() - rect().center());
}

void TfrmConnectInfo::paintEvent(QPaintEvent* event) {
    if (FOnPaint) (this->*FOnPaint)();
    QDialog::paintEvent(event);
}

void TfrmConnectInfo::closeEvent(QCloseEvent* event) { FormClose(event); }

void TfrmConnectInfo::FormPaint() {
    FOnPaint = nullptr;
    gridSettings.horizontalHeader()->setFixedHeight(kHeaderRowHeight);
    // The file's count replaces the spin edit's only where the file has one.
    FModel.SetCount(edtConnection.value());
    FModel.Load();
    edtConnection.setValue(FModel.Count());
    gridSettings.setRowCount(FModel.RowCount());
    for (int row = 1; row <= FModel.RowCount(); ++row)
        for (int column = 0; column < gridSettings.columnCount(); ++column)
            SetCellText(row, column, QString::fromStdString(FModel.Cell(row, column)));
}

void TfrmConnectInfo::edtConnectionChange() { gridSettings.setRowCount(std::max(edtConnection.value(), 1)); }

void TfrmConnectInfo::btnOKClick() {
    FModel.SetCount(edtConnection.value());
    for (int row = 1; row <= FModel.RowCount(); ++row)
        for (int column = 0; column < gridSettings.columnCount(); ++column)
            FModel.SetCell(row, column, CellText(row, column).toStdString());
    try {
        FModel.Save();
    } catch (const Exception& e) {
        FErrorBox.setText(QString::fromStdString(e.Message()));
        FErrorBox.open();
        return;
    }
    accept();
}

void TfrmConnectInfo::btnCancelClick() { reject(); }

// The close box closes without saving, as Cancel does; the caller that showed the form frees it.
void TfrmConnectInfo::FormClose(QCloseEvent* event) { QDialog::closeEvent(event); }

QString TfrmConnectInfo::CellText(int row, int column) const {
    return gridSettings.model()->index(row - 1, column).data().toString();
}

void TfrmConnectInfo::SetCellText(int row, int column, const QString& text) {
    QAbstractItemModel* cells = gridSettings.model();
    cells->setData(cells->index(row - 1, column), text);
}

}  // namespace iqo
