// Tab "社保卡": social security card.
#include "mainwindow.h"
#include "operation.h"
#include "records.h"
#include "ui_mainwindow.h"

namespace {
constexpr std::size_t ssseTextSize = 4096;
// The library's card kind and flags; the program always passes these values.
constexpr int ssseKind = 3;
constexpr int ssseFlags = 0;
} // namespace

void MainWindow::on_pushButton_11_clicked()
{
    const Operation readCard(ui->label_Tip, "读取社保卡信息失败，错误代码：");
    if (!readCard.entriesBound({EntryPoint::SsseReadCard}))
        return;
    TextBuffer<ssseTextSize> record;
    TextBuffer<ssseTextSize> errorText;
    const qint64 result = pSsseReadCard(ssseKind, record.data(), errorText.data(), ssseFlags);
    if (result != 0) {
        // The library's own explanation follows the code, in UTF-8; two blanks
        // stay even when it wrote none.
        readCard.report(readCard.failure(result) + QStringLiteral("  ") + errorText.utf8());
        return;
    }
    readCard.report(QStringLiteral("读取社保卡信息成功"));

    const std::array<QString, 13> display = socialSecurityDisplay(cardTextRecord(record.text()));
    QLineEdit *const shown[] = {
        ui->lineEdit_SsseIdentityNumber,
        ui->lineEdit_SsseCategory,
        ui->lineEdit_SsseStandardVersion,
        ui->lineEdit_SsseInitOrg,
        ui->lineEdit_SsseBegin,
        ui->lineEdit_SsseValid,
        ui->lineEdit_SsseCardNumber,
        ui->lineEdit_SsseIdNumber,
        ui->lineEdit_SsseName,
        ui->lineEdit_SsseGender,
        ui->lineEdit_SsseNation,
        ui->lineEdit_SsseBirthPlace,
        ui->lineEdit_SsseBirthDate,
    };
    for (std::size_t i = 0; i < display.size(); ++i)
        shown[i]->setText(display[i]);
}
