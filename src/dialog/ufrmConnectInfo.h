#pragma once

#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>

#include <string>

#include "dialog/ConnectInfoModel.h"

namespace iqo {

// The Connection Information dialog as a window: a count of data-centre databases and a grid
// of their connection settings, loaded at the first paint and saved by OK. The controls carry
// their names as object names (edtConnection, gridSettings, btnOK, btnCancel, ...).
class TfrmConnectInfo : public QDialog {
    Q_OBJECT

public:
    explicit TfrmConnectInfo(const std::string& settingsFolder);

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormPaint();
    void edtConnectionChange();
    void btnOKClick();
    void btnCancelClick();
    void FormClose(QCloseEvent* event);

    QString CellText(int row, int column) const;
    void SetCellText(int row, int column, const QString& text);

    TConnectInfoModel FModel;
    void (TfrmConnectInfo::*FOnPaint)() = &TfrmConnectInfo::FormPaint;

    QLabel Label1;
    QLabel Label2;
    QSpinBox edtConnection;
    QTableWidget gridSettings;
    QPushButton btnOK;
    QPushButton btnCancel;
    // A save failure is shown here without blocking the dialog, which stays open.
    QMessageBox FErrorBox;
};

}  // namespace iqo
