#pragma once

#include <QComboBox>

// The port list. A port's name can be as long as the system makes it; the
// chosen one is shown elided in the middle, so it never widens the
// connection row and with it the window. The drop-down list shows it whole.
class PortComboBox : public QComboBox
{
    Q_OBJECT

public:
    using QComboBox::QComboBox;
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    // Qt 6 dropped the text variant of the index-changed signal, to which the
    // window binds its port slot by name; sent here with the same text at the
    // same moments.
    explicit PortComboBox(QWidget *parent = nullptr) : QComboBox(parent)
    {
        connect(this, &QComboBox::currentIndexChanged, this,
                [this](int index) { emit currentIndexChanged(itemText(index)); });
    }

signals:
    void currentIndexChanged(const QString &text);
#endif

protected:
    void paintEvent(QPaintEvent *event) override;
};
