// Helpers for QtTest suites that drive the real MainWindow and Dialog by
// object name.
#pragma once

#include "loader.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>

class MainWindow;

namespace windowtest {

// The child of root with this object name; the test aborts when there is
// none, since every later step would be meaningless.
template <typename T> T *child(const QObject *root, const char *name)
{
    T *found = root->findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qFatal("no %s named %s", T::staticMetaObject.className(), name);
    return found;
}

// Text of a line edit, text edit (plain), label, combo box (current text),
// push button or action.
QString text(const QObject *root, const char *name);

// Types into a line edit, a text edit or the edit field of an editable combo
// box.
void setText(const QObject *root, const char *name, const QString &text);

// Clicks a push button or triggers an action.
void click(const QObject *root, const char *name);

// The status line.
QString status(const QObject *window);

// Runs action on the next modal widget (dialog or message box) as soon as it
// is shown, so that a modal exec() in the code under test never hangs a test.
void onNextModal(std::function<void(QWidget *)> action);

// Opens the reader through the real dialog, confirming its current defaults.
void confirmNextDialog();

// Binds the loader's pointers to the library the test process has loaded
// (the fake device library, linked into every window test).
void bindLoadedLibrary();

// Makes an entry point look unexported until the object is destroyed.
class Unbound
{
public:
    explicit Unbound(EntryPoint entry);
    ~Unbound();
    Unbound(const Unbound &) = delete;
    Unbound &operator=(const Unbound &) = delete;

private:
    std::function<void()> m_restore;
};

// Collects Qt warnings and critical messages that a test did not expect;
// suites check warnings() in cleanup() so that, for example, a slot that the
// form cannot connect by name fails the run.
void installWarningCollector();
QStringList takeWarnings();

} // namespace windowtest

namespace windowtest {
// Binds the loader's pointers to the simulated reader built with the tests.
void bindSimulator();
} // namespace windowtest
