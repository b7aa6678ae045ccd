#pragma once

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTimer>

// Ends every modal box or dialog that comes up while it lives, and notes
// what it saw: the code under test runs them with exec().
class ModalCloser : public QObject
{
public:
    enum Action { Accept, Reject, CloseWindow };

    explicit ModalCloser(Action action = Accept)
        : action(action)
    {
        connect(&timer, &QTimer::timeout, this, [this] { closeActive(); });
        timer.start(10);
    }

    struct Seen
    {
        QString className;
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
    };
    QList<Seen> seen;

private:
    void closeActive()
    {
        QWidget *modal = QApplication::activeModalWidget();
        auto *dialog = qobject_cast<QDialog *>(modal);
        // A dialog just ended stays the modal widget until its exec() returns.
        if (!dialog || !dialog->isVisible())
            return;
        Seen s{QString::fromLatin1(dialog->metaObject()->className()), dialog->windowTitle(), {}, {}};
        if (auto *box = qobject_cast<QMessageBox *>(dialog)) {
            s.text = box->text();
            s.icon = box->icon();
        }
        seen << s;
        switch (action) {
        case Accept: dialog->accept(); break;
        case Reject: dialog->reject(); break;
        case CloseWindow: dialog->close(); break;
        }
    }

    Action action;
    QTimer timer;
};
