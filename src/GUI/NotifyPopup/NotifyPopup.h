#pragma once
#include <QWidget>

class QDialogButtonBox;
class QLabel;
class QRect;
class QTreeWidget;

// The alert window: a bold title line and the unrecognised devices with their addresses, above every window
// of the desktop until the user closes it. It shows what it is given and closes; a closed window destroys
// itself.
class TfmNotifyPopup final : public QWidget {
    Q_OBJECT

public:
    explicit TfmNotifyPopup(QWidget* owner);

    void SetTitle(const QString& text);
    void AddDevice(const QString& address, const QString& macText);
    // Centres the window over the area; a new window is centred on its screen.
    void CentreOver(const QRect& area);

signals:
    // The window is closing: by OK, by the close box or from code.
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateList();
    void CreateButtons();
    void HelpButtonClick();
    // A click on a column header sorts by its text; a second click on the same header reverses the order.
    void SortByColumn(int column);

    QLabel* lbTitle_ = nullptr;
    QTreeWidget* lvMainView_ = nullptr;
    QDialogButtonBox* bpOkayCancel_ = nullptr;
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
};
