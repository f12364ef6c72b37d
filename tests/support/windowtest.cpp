#include "windowtest.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>

namespace windowtest {

QString text(const QObject *root, const char *name)
{
    QObject *object = root->findChild<QObject *>(QString::fromLatin1(name));
    if (auto *lineEdit = qobject_cast<QLineEdit *>(object))
        return lineEdit->text();
    if (auto *textEdit = qobject_cast<QTextEdit *>(object))
        return textEdit->toPlainText();
    if (auto *label = qobject_cast<QLabel *>(object))
        return label->text();
    if (auto *comboBox = qobject_cast<QComboBox *>(object))
        return comboBox->currentText();
    if (auto *button = qobject_cast<QAbstractButton *>(object))
        return button->text();
    if (auto *action = qobject_cast<QAction *>(object))
        return action->text();
    qFatal("no text widget named %s", name);
    return QString();
}

void setText(const QObject *root, const char *name, const QString &text)
{
    QObject *object = root->findChild<QObject *>(QString::fromLatin1(name));
    if (auto *lineEdit = qobject_cast<QLineEdit *>(object))
        return lineEdit->setText(text);
    if (auto *comboBox = qobject_cast<QComboBox *>(object))
        return comboBox->setEditText(text);
    if (auto *textEdit = qobject_cast<QTextEdit *>(object))
        return textEdit->setPlainText(text);
    qFatal("no editable widget named %s", name);
}

void click(const QObject *root, const char *name)
{
    QObject *object = root->findChild<QObject *>(QString::fromLatin1(name));
    if (auto *button = qobject_cast<QAbstractButton *>(object))
        return button->click();
    if (auto *action = qobject_cast<QAction *>(object))
        return action->trigger();
    qFatal("nothing to click named %s", name);
}

QString status(const QObject *window)
{
    return child<QLabel>(window, "label_Tip")->text();
}

void onNextModal(std::function<void(QWidget *)> action)
{
    auto *poll = new QTimer(qApp);
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, [poll, action] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        action(modal);
    });
    poll->start();
}

void confirmNextDialog()
{
    onNextModal([](QWidget *dialog) { child<QPushButton>(dialog, "pushButton")->click(); });
}

void bindLoadedLibrary()
{
    char path[] = "libCommonInterface.so";
    if (!LoadCommonInterface(path))
        qFatal("the device library linked into the test cannot be opened");
}

Unbound::Unbound(EntryPoint entry)
{
    switch (entry) {
#define WINDOWTEST_UNBIND(name)                                                                    \
    case EntryPoint::name: {                                                                       \
        auto *saved = p##name;                                                                     \
        p##name = nullptr;                                                                         \
        m_restore = [saved] { p##name = saved; };                                                  \
        break;                                                                                     \
    }
#define WINDOWTEST_UNBIND_CALLED(name, params, args) WINDOWTEST_UNBIND(name)
        COMMON_INTERFACE_ENTRY_POINTS(WINDOWTEST_UNBIND_CALLED, WINDOWTEST_UNBIND)
#undef WINDOWTEST_UNBIND_CALLED
#undef WINDOWTEST_UNBIND
    }
}

Unbound::~Unbound()
{
    m_restore();
}

namespace {
QStringList collected;

// Messages of the offscreen platform itself, not of the code under test.
bool isPlatformNoise(const QString &message)
{
    return message.contains(QLatin1String("propagateSizeHints"))
           || message.contains(QLatin1String("QFont::"))
           || message.startsWith(QLatin1String("QStandardPaths:"));
}

void collect(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if ((type == QtWarningMsg || type == QtCriticalMsg || type == QtFatalMsg)
        && !isPlatformNoise(message))
        collected.append(message);
    if (type == QtFatalMsg) {
        fprintf(stderr, "%s\n", qPrintable(message));
        abort();
    }
}
} // namespace

void installWarningCollector()
{
    qInstallMessageHandler(collect);
}

QStringList takeWarnings()
{
    QStringList warnings;
    warnings.swap(collected);
    return warnings;
}

} // namespace windowtest

namespace windowtest {
void bindSimulator()
{
    QByteArray path = qgetenv("SIMULATOR_PATH");
    if (path.isEmpty() || !LoadCommonInterface(path.data()))
        qFatal("the simulated reader (SIMULATOR_PATH) cannot be opened");
}
} // namespace windowtest
