// The columns of the restore file chooser: the file system model with "Тип"
// replaced by the serial number and "Изменён" by the time, both read from a
// backup's name (for any other file: no serial, the file's own time). Display
// only; no file is opened, nothing waits.
#pragma once

#include <QIdentityProxyModel>

namespace zentor::gui {

class BackupColumns : public QIdentityProxyModel {
    Q_OBJECT
public:
    static constexpr int kSerialColumn = 2;
    static constexpr int kTimeColumn = 3;

    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
};

// "10.12.2026 14:25:01" for a name stamp "20261210-142501", or empty.
QString StampText(const QString& stamp);

}  // namespace zentor::gui
