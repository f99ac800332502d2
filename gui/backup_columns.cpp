#include "backup_columns.h"

#include <QDateTime>
#include <QFileSystemModel>

#include "journal/backup_names.h"
#include "window_rules.h"

namespace zentor::gui {

QString StampText(const QString& stamp) {
    const QDateTime time = QDateTime::fromString(stamp, QStringLiteral("yyyyMMdd-HHmmss"));
    return time.isValid() ? time.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")) : QString();
}

QVariant BackupColumns::data(const QModelIndex& index, int role) const {
    const int column = index.column();
    if (role != Qt::DisplayRole || (column != kSerialColumn && column != kTimeColumn))
        return QIdentityProxyModel::data(index, role);
    const std::filesystem::path name =
        ToPath(index.siblingAtColumn(0).data(QFileSystemModel::FileNameRole).toString());
    if (column == kSerialColumn) {
        const auto serial = BackupSerial(name);
        return serial ? QString::fromStdString(*serial) : QString();
    }
    const auto stamp = BackupTime(name);
    if (!stamp) return QIdentityProxyModel::data(index, role);
    return StampText(QString::fromStdString(*stamp));
}

QVariant BackupColumns::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        if (section == kSerialColumn) return QString::fromUtf8("Серийный номер");
        if (section == kTimeColumn) return QString::fromUtf8("Время");
    }
    return QIdentityProxyModel::headerData(section, orientation, role);
}

}  // namespace zentor::gui
