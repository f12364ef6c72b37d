// The program's one window.
//
// MainWindow holds nothing but its form: every operator action is a slot,
// connected by object name, that reads its tab's widgets, runs one call of
// the device library by name (panels/calls.h), and writes the result back
// into the widgets and the status line label_Tip. Whether a reader is open
// shows only as the visibility of the tab pages.
//
// The slots are spread over several files: ui/connection.cpp holds the tool
// bar actions, and each tab has its own file under panels/. The calls, which
// the command-line program and the web bridge run too, hold the mechanics
// (missing entry points, status texts, bounded reads of library buffers,
// hexadecimal and decimal conversions, the card text record: panels/operation.h).
#pragma once

#include <QMainWindow>

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

private slots:
    void on_pushButton_clicked();
    void on_pushButton_2_clicked();
    void on_pushButton_3_clicked();
    void on_pushButton_6_clicked();
    void on_pushButton_7_clicked();
    void on_pushButton_8_clicked();
    void on_pushButton_9_clicked();
    void on_pushButton_10_clicked();
    void on_pushButton_11_clicked();
    void on_pushButton_12_clicked();
    void on_pushButton_13_clicked();
    void on_pushButton_14_clicked();
    void on_pushButton_15_clicked();
    void on_pushButton_16_clicked();
    void on_pushButton_17_clicked();
    void on_pushButton_18_clicked();
    void on_pushButton_19_clicked();
    void on_pushButton_20_clicked();
    void on_pushButton_21_clicked();
    void on_pushButton_22_clicked();
    void on_pushButton_23_clicked();
    void on_pushButton_24_clicked();
    void on_pushButton_25_clicked();
    void on_pushButton_27_clicked();
    void on_pushButton_26_clicked();
    void on_pushButton_28_clicked();
    void on_action_triggered();
    void on_action_2_triggered();
    void on_action_3_triggered();

private:
    // Shared by the two identity reading buttons, which differ only in the
    // library operation they call.
    void readIdentityDocument(bool ga467);
    void showBankLog(const char *operation);
    void showSamId(const char *operation);
    void showSamStatus(const char *operation);

    Ui::MainWindow *ui;
};
