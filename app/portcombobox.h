#pragma once

#include <QComboBox>

// The port list. A port's name can be as long as the system makes it; the
// chosen one is shown elided in the middle, so it never widens the
// connection row and with it the window. The drop-down list shows it whole.
class PortComboBox : public QComboBox
{
public:
    using QComboBox::QComboBox;

protected:
    void paintEvent(QPaintEvent *event) override;
};
