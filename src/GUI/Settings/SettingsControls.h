#pragma once
#include <QGroupBox>
#include <QLabel>
#include <QWidget>

#include <vector>

class QCheckBox;
class QLineEdit;

// A titled group of check boxes in one column, addressed by item index.
class TCheckGroup final : public QGroupBox {
    Q_OBJECT

public:
    TCheckGroup(const char* name, const QString& title, const QStringList& items, QWidget* parent = nullptr);

    int Count() const { return static_cast<int>(items_.size()); }
    QCheckBox* Item(int index) const { return items_.at(static_cast<size_t>(index)); }
    bool Checked(int index) const;
    void SetChecked(int index, bool checked);

signals:
    // The user clicked an item (not emitted when the program sets a state).
    void ItemClick(int index);

private:
    std::vector<QCheckBox*> items_;
};

// A one-line file name with a browse button; the browse dialog offers only files that exist.
class TFileNameEdit final : public QWidget {
public:
    explicit TFileNameEdit(const char* name, QWidget* parent = nullptr);

    QString FileName() const;
    void SetFileName(const QString& fileName);
    // The file type offered by the browse dialog: a description and its patterns; empty for any file.
    void SetFilter(const QString& filterName, const QString& pattern);
    QLineEdit* Edit() const { return edit_; }

private:
    void Browse();

    QLineEdit* edit_;
    QString filterName_;
    QString pattern_;
};

// A label that looks and acts like a web link without being rich text, so it translates like any label.
class TLinkLabel final : public QLabel {
    Q_OBJECT

public:
    TLinkLabel(const char* name, const QString& text, QWidget* parent = nullptr);

signals:
    void Clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};
