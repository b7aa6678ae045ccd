#pragma once
// Answers every modal window that comes up while it lives, as a person would,
// and notes what it saw: the code under test runs them with exec().
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <functional>

class ModalAnswer : public QObject
{
public:
    enum Action { Accept, Reject, Close };

    // form answers a dialog itself (fills it, clicks a button) and returns
    // true, or returns false to leave it to action. Boxes always get action.
    explicit ModalAnswer(Action action = Accept, std::function<bool(QDialog *)> form = {})
        : action(action), form(std::move(form))
    {
        connect(&poll, &QTimer::timeout, this, &ModalAnswer::answer);
        poll.start(10);
    }

    // "class|title", and for message boxes "|text|icon".
    QStringList seen;

private:
    void answer()
    {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        // An answered dialog stays modal until its exec() returns; one that is
        // active again after a box of its own is answered anew.
        if (!dialog || dialog == handled)
            return;
        handled = dialog;
        auto *box = qobject_cast<QMessageBox *>(dialog);
        const char *icons[] = {"", "information", "warning", "critical", "question"};
        seen << dialog->metaObject()->className() + ('|' + dialog->windowTitle())
                    + (box ? '|' + box->text() + '|' + icons[box->icon()] : QString());
        if (!box && form && form(dialog))
            return;
        // Queued: whatever the answer opens must not run inside this timer slot.
        QMetaObject::invokeMethod(
            dialog, [dialog, a = action] { a == Accept ? dialog->accept() : a == Reject ? dialog->reject() : void(dialog->close()); },
            Qt::QueuedConnection);
    }

    Action action;
    std::function<bool(QDialog *)> form;
    QTimer poll;
    QPointer<QDialog> handled;
};
