#include "consentdialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace bridge {

ConsentDialog::ConsentDialog(const QString &origin, const QString &purpose, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("consentDialog"));
    setWindowTitle(QStringLiteral("读卡服务授权"));
    auto *layout = new QVBoxLayout(this);
    auto *question = new QLabel(QStringLiteral("网页请求使用读卡器："), this);
    // The origin as the browser sent it, alone on its line and never as rich
    // text, so that a page cannot dress it up.
    auto *originLabel = new QLabel(origin, this);
    originLabel->setObjectName(QStringLiteral("label_Origin"));
    originLabel->setTextFormat(Qt::PlainText);
    QFont bold = originLabel->font();
    bold.setBold(true);
    originLabel->setFont(bold);
    auto *purposeLabel = new QLabel(QStringLiteral("请求：") + purpose, this);
    purposeLabel->setObjectName(QStringLiteral("label_Purpose"));
    purposeLabel->setTextFormat(Qt::PlainText);
    layout->addWidget(question);
    layout->addWidget(originLabel);
    layout->addWidget(purposeLabel);

    auto *buttons = new QHBoxLayout;
    const struct
    {
        const char *name;
        const char *text;
        Answer answer;
    } choices[] = {
        {"pushButton_AllowOnce", "允许一次", AllowOnce},
        {"pushButton_AlwaysAllow", "始终允许", AlwaysAllow},
        {"pushButton_Deny", "拒绝", Deny},
    };
    for (const auto &choice : choices) {
        auto *button = new QPushButton(QString::fromUtf8(choice.text), this);
        button->setObjectName(QString::fromLatin1(choice.name));
        button->setAutoDefault(false);
        const Answer answer = choice.answer;
        connect(button, &QPushButton::clicked, this, [this, answer] { done(answer); });
        buttons->addWidget(button);
    }
    layout->addLayout(buttons);
}

} // namespace bridge
