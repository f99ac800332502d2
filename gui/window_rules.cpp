#include "window_rules.h"

#include <QFileInfo>

namespace zentor::gui {

std::optional<QString> TypeCaption(int typeController) {
    if (typeController < 1 || typeController > 4) return std::nullopt;
    return QStringLiteral("Zentor MSC1210Y") + QString::number(typeController + 1);
}

QString FaceCaption(WindowFace face, int typeController) {
    if (face == WindowFace::UpdateFace) return QStringLiteral("Zentor Velmar");
    return TypeCaption(typeController).value_or(QStringLiteral("Zentor MSC"));
}

QPoint KeepOnScreen(QPoint p, QSize window, QSize screen) {
    int left = p.x();
    int top = p.y();
    if (left < 0) left = 0;
    if (top < 0) top = 0;
    if (left > screen.width() - window.width()) left = screen.width() - window.width();
    if (top > screen.height() - window.height()) top = screen.height() - window.height() - 30;
    return {left, top};
}

QPoint CentreOnScreen(QSize window, QSize screen) {
    return {(screen.width() - window.width()) / 2, (screen.height() - window.height()) / 3};
}

QPoint PlaceOverOwner(QRect owner, QSize dialog, QSize screen) {
    int left = owner.left() + (owner.width() - dialog.width()) / 2;
    int top = owner.top() + (owner.height() - dialog.height()) / 3;
    if (left < 0) left = 0;
    if (top < 0) top = 0;
    if (left > screen.width() - dialog.width()) left = screen.width() - dialog.width();
    if (top > screen.height() - dialog.height()) top = screen.height() - dialog.height() - 50;
    return {left, top};
}

bool NeedsArialWarning(const QStringList& families) {
    for (const QString& family : families) {
        // fontconfig lists foundry-qualified names as "Arial [Monotype]".
        const QString name = family.section(QLatin1String(" ["), 0, 0).trimmed();
        if (name.compare(QLatin1String("Arial"), Qt::CaseInsensitive) == 0 ||
            name.compare(QLatin1String("Liberation Sans"), Qt::CaseInsensitive) == 0 ||
            name.compare(QLatin1String("Arimo"), Qt::CaseInsensitive) == 0)
            return false;
    }
    return true;
}

QString DefaultApplicationTitle(const QString& executablePath) {
    QString name = QFileInfo(executablePath).completeBaseName();
    if (name.isEmpty()) return name;
    return name.left(1) + name.mid(1).toLower();
}

QStringList ConvertDialogFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList result;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& p : patterns) {
            p = p.trimmed();
            if (p == QLatin1String("*.*")) p = QStringLiteral("*");
        }
        result << parts[i] + QLatin1String(" (") + patterns.join(QLatin1Char(' ')) +
                      QLatin1Char(')');
    }
    return result;
}

QString ButtonCaption(const QString& text) {
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1String("\n\r"), QLatin1String("\n"));
    t.remove(QLatin1Char('\r'));
    return t;
}

std::filesystem::path ToPath(const QString& path) {
    return std::filesystem::path(path.toStdU16String());
}

QString FromPath(const std::filesystem::path& path) {
    return QString::fromStdU16String(path.u16string());
}

StartOptions ParseStartOptions(const QStringList& arguments) {
    StartOptions o;
    for (int i = 1; i < arguments.size(); ++i) {
        QString arg = arguments[i];
        QString value;
        bool hasValue = false;
        const int eq = arg.indexOf(QLatin1Char('='));
        if (arg.startsWith(QLatin1String("--")) && eq > 0) {
            value = arg.mid(eq + 1);
            arg = arg.left(eq);
            hasValue = true;
        }
        auto next = [&]() -> bool {
            if (hasValue) return true;
            if (i + 1 >= arguments.size()) return false;
            value = arguments[++i];
            return true;
        };
        if (arg == QLatin1String("--face")) {
            if (!next()) {
                o.error = QStringLiteral("--face needs factory, update or encoder");
                return o;
            }
            if (value == QLatin1String("factory")) {
                o.face = WindowFace::FactoryFace;
            } else if (value == QLatin1String("update")) {
                o.face = WindowFace::UpdateFace;
            } else if (value == QLatin1String("encoder")) {
                o.face = WindowFace::EncoderFace;
            } else {
                o.error = QStringLiteral("unknown face: ") + value;
                return o;
            }
        } else if (arg == QLatin1String("--config")) {
            if (!next() || value.isEmpty()) {
                o.error = QStringLiteral("--config needs a file name");
                return o;
            }
            o.configPath = value;
        } else if (arg == QLatin1String("--journal")) {
            if (!next() || value.isEmpty()) {
                o.error = QStringLiteral("--journal needs a file name");
                return o;
            }
            o.journalPath = value;
        } else if (arg == QLatin1String("--training") && !hasValue) {
            o.training = true;
        } else {
            o.error = QStringLiteral("unknown argument: ") + arguments[i];
            return o;
        }
    }
    if (o.training && !o.configPath.isEmpty())
        o.error = QStringLiteral("--training uses a configuration of its own; drop --config");
    return o;
}

}  // namespace zentor::gui
