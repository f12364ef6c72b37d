// Tab "社保卡": social security card.
#include "mainwindow.h"
#include "operation.h"
#include "ui_mainwindow.h"

#include <utility>

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

    // Field 9 is not shown. A short record empties the fields it lacks, so
    // that one card's data is never shown beside another's.
    const QStringList fields = cardTextRecord(record.text());
    const std::pair<int, QLineEdit *> shown[] = {
        {0, ui->lineEdit_SsseIdentityNumber},
        {1, ui->lineEdit_SsseCategory},
        {2, ui->lineEdit_SsseStandardVersion},
        {3, ui->lineEdit_SsseInitOrg},
        {4, ui->lineEdit_SsseBegin},
        {5, ui->lineEdit_SsseValid},
        {6, ui->lineEdit_SsseCardNumber},
        {7, ui->lineEdit_SsseIdNumber},
        {8, ui->lineEdit_SsseName},
        {10, ui->lineEdit_SsseGender},
        {11, ui->lineEdit_SsseNation},
        {12, ui->lineEdit_SsseBirthPlace},
        {13, ui->lineEdit_SsseBirthDate},
    };
    for (const auto &[index, lineEdit] : shown)
        lineEdit->setText(recordField(fields, index));
}
