#include "GUI/MainView/MainWindow.h"

#include "Core/Common/Exception.h"
#include "Core/Common/Text.h"
#include "Core/Net/HWAddr.h"
#include "GUI/App/Translation.h"
#include "GUI/App/UserDialogs.h"
#include "GUI/MainView/ListEntry.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QSaveFile>
#include <QStringList>
#include <QTreeWidget>

namespace {

QString TabSeparated(const QTreeWidgetItem& row) {
    QStringList cells;
    for (int column = 0; column < row.columnCount(); ++column)
        cells.append(row.text(column));
    return cells.join(QLatin1Char('\t'));
}

void AppendLine(QByteArray& text, const QByteArray& line) {
    text += line;
    text += "\r\n";
}

// As long as the header in bytes: "=" under every byte, tabs kept.
QByteArray Underline(QByteArray header) {
    for (char& byte : header)
        if (byte != '\t')
            byte = '=';
    return header;
}

} // namespace

QTreeWidgetItem* TfmHWKMain::SelectedRow() const {
    const QList<QTreeWidgetItem*> rows = lvMainView_->selectedItems();
    return rows.isEmpty() ? nullptr : rows.constFirst();
}

void TfmHWKMain::acCopyLineExecute() {
    if (const QTreeWidgetItem* row = SelectedRow())
        QGuiApplication::clipboard()->setText(TabSeparated(*row));
}

void TfmHWKMain::CopyColumn(int column) {
    if (const QTreeWidgetItem* row = SelectedRow())
        QGuiApplication::clipboard()->setText(row->text(column));
}

void TfmHWKMain::acSaveToFileExecute() {
    const QString fileName =
        TUserDialogs::GetSaveFileName(this, Tr("Text files"), QStringLiteral("*.txt"), QStringLiteral("txt"));
    if (!fileName.isEmpty())
        SaveList(fileName);
}

void TfmHWKMain::SaveList(const QString& fileName) const {
    const QByteArray header = TabSeparated(*lvMainView_->headerItem()).toUtf8();
    QByteArray text;
    AppendLine(text, header);
    AppendLine(text, Underline(header));
    for (int i = 0; i < lvMainView_->topLevelItemCount(); ++i)
        AppendLine(text, TabSeparated(*lvMainView_->topLevelItem(i)).toUtf8());

    // Written aside and renamed into place, so a failure leaves any earlier file as it was.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        throw Exception(FormatText("%s: %s", {fileName.toStdString(), file.errorString().toStdString()}));
}

void TfmHWKMain::MACDelimExecute(char delimiter) {
    SetMacFormat(delimiter);
    SyncMacFormatActions();
    lvMainView_->setUpdatesEnabled(false);
    for (int i = 0; i < lvMainView_->topLevelItemCount(); ++i)
        if (TListEntry* entry = TListEntry::Of(lvMainView_->topLevelItem(i)))
            entry->setText(rcHWAddr, QString::fromStdString(HWAddrToDisplay(entry->HWAddr)));
    lvMainView_->setUpdatesEnabled(true);
}

void TfmHWKMain::SyncMacFormatActions() {
    switch (CurrentMacFormat()) {
    case '-':
        acMACDelimDash_->setChecked(true);
        break;
    case ':':
        acMACDelimColon_->setChecked(true);
        break;
    default:
        acMACDelimNone_->setChecked(true);
        break;
    }
}
