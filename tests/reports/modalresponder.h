#pragma once
// Answers modal windows as a person would: fills and confirms (or cancels)
// the send dialog, notes and closes message boxes, closes any other dialog.
#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

struct DialogAnswer
{
    QString manufacturer;
    QString model;
    bool send;
};

struct SeenMessageBox
{
    QMessageBox::Icon icon;
    QString title;
    QString text;
};

class ModalResponder : public QObject
{
public:
    explicit ModalResponder(QList<DialogAnswer> answers) : answers(std::move(answers))
    {
        connect(&poll, &QTimer::timeout, this, &ModalResponder::answer);
        poll.start(20);
    }

    QList<SeenMessageBox> boxes;
    QStringList dialogTitles;      // send dialogs
    QStringList otherDialogTitles; // any other dialog, closed unanswered
    int dialogsShown = 0;

private:
    void answer()
    {
        QWidget *w = QApplication::activeModalWidget();
        if (!w || w == handled)
            return;
        handled = w;
        if (auto *box = qobject_cast<QMessageBox *>(w)) {
            boxes << SeenMessageBox{box->icon(), box->windowTitle(), box->text()};
            if (QAbstractButton *ok = box->button(QMessageBox::Ok))
                QMetaObject::invokeMethod(ok, "click", Qt::QueuedConnection);
            else
                QMetaObject::invokeMethod(box, "reject", Qt::QueuedConnection);
            return;
        }
        if (!w->findChild<QLineEdit *>(QStringLiteral("lineEditHersteller"))) {
            otherDialogTitles << w->windowTitle();
            QMetaObject::invokeMethod(w, "reject", Qt::QueuedConnection);
            return;
        }
        ++dialogsShown;
        dialogTitles << w->windowTitle();
        const DialogAnswer a = answers.isEmpty() ? DialogAnswer{{}, {}, false} : answers.takeFirst();
        w->findChild<QLineEdit *>(QStringLiteral("lineEditHersteller"))->setText(a.manufacturer);
        w->findChild<QLineEdit *>(QStringLiteral("lineEditModell"))->setText(a.model);
        // Queued: a warning opened by the click must not run inside this timer slot.
        auto *button = w->findChild<QPushButton *>(a.send ? QStringLiteral("pushButtonSenden")
                                                          : QStringLiteral("pushButtonAbbrechen"));
        QMetaObject::invokeMethod(button, "click", Qt::QueuedConnection);
    }

    QList<DialogAnswer> answers;
    QTimer poll;
    // The last window answered; a dialog that is active again after a
    // warning differs from it and is answered anew.
    QPointer<QWidget> handled;
};
