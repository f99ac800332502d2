#include "about_box.h"

#include <QAction>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>

#include "window_language.h"
#include "zentor_version.h"

namespace zentor::gui {

QString AboutText() {
    return QStringLiteral(
               "Zentor %1\n\n"
               "Обновление прошивки, программирование MSC1210Y и данные "
               "DATA FLASH приборов по последовательному порту.")
        .arg(QString::fromUtf8(ZENTOR_VERSION_TEXT));
}

void AddAboutEntry(QPlainTextEdit* log) {
    log->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(log, &QWidget::customContextMenuRequested, log, [log](const QPoint& at) {
        QMenu* menu = log->createStandardContextMenu(at);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->addSeparator();
        AddLanguageMenu(menu);
        QAction* about = menu->addAction(QStringLiteral("О программе…"));
        about->setObjectName(QStringLiteral("actionAbout"));
        QObject::connect(about, &QAction::triggered, log, [log] {
            QMessageBox::about(log->window(), QStringLiteral("О программе"), AboutText());
        });
        menu->popup(log->viewport()->mapToGlobal(at));
    });
}

}  // namespace zentor::gui
