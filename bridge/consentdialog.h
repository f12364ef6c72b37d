// The question a person answers for a page: the origin, what it asks for, and
// Allow once, Always allow or Deny. It only collects the answer; the bridge
// applies it.
#pragma once

#include <QDialog>

namespace bridge {

class ConsentDialog : public QDialog
{
    Q_OBJECT
public:
    // The values done() ends the dialog with. Escape or closing the window
    // rejects it, which is Deny, never a silent "allow".
    enum Answer { Deny = 0, AllowOnce = 1, AlwaysAllow = 2 };

    ConsentDialog(const QString &origin, const QString &purpose, QWidget *parent = nullptr);
};

} // namespace bridge
