// The print options window: all sheets or a range, checked, answered to the print command.
#pragma once

#include <QDialog>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tessaro {

struct PrintAnswer;

class Form3 : public QDialog {
    Q_OBJECT
public:
    // ji_ge: records + 1, as counted by the print command just before.
    explicit Form3(int ji_ge, QWidget* parent = nullptr);

    QGroupBox* Frame1;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QGroupBox* Frame2;
    QRadioButton* Option1;
    QLabel* Label5;
    QLineEdit* Text1;
    QLabel* Label6;
    QLineEdit* Text2;
    QLabel* Label7;
    QRadioButton* Option2;
    QPushButton* Command2;
    QPushButton* Command3;

signals:
    // Sent once, when the window closes: dayinlin 10 (print sheets dakai..dajie-1) or 9 (cancel).
    void answered(int dayinlin, int dakai, int dajie);

public slots:
    void reject() override; // Escape and the window frame answer cancel

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void build_controls();
    void on_print();
    void on_cancel();
    void show_messages(const PrintAnswer& answer);
    void finish(int dayinlin, int dakai, int dajie);

    int ji_ge_;
    bool answered_ = false;
};

} // namespace tessaro
