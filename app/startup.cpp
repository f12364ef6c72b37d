#include "startup.h"

#include <QApplication>
#include <QIcon>
#include <QIconEngine>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>

#include <map>

void followDesktopScale()
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Without Xft.dpi, Qt 5 on X11 takes the monitor's physical DPI where
    // Qt 6 takes 96, so factors below 1.75 stay 1 as they do under Qt 6.
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::RoundPreferFloor);
#endif
}

void showLibraryLoadError()
{
    QMessageBox::critical(nullptr, QStringLiteral("错误提示"),
                          QStringLiteral("libCommonInterface.so加载失败"), QMessageBox::Ok,
                          QMessageBox::NoButton);
}

namespace {

// Icon files by size, each decoded on first use. The platform asks for the
// window icon's sizes when it needs them (X11 when the window is mapped; the
// offscreen platform never), not when the icon is made.
class LazyFileIconEngine : public QIconEngine
{
public:
    explicit LazyFileIconEngine(std::map<int, QString> files) : m_files(std::move(files)) {}

    QIconEngine *clone() const override { return new LazyFileIconEngine(m_files); }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
    }

    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        const int side = fileFor(size).first;
        return side >= size.width() && side >= size.height() ? size : QSize(side, side);
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        if (m_files.empty() || size.isEmpty())
            return {};
        const auto [side, file] = fileFor(size);
        QPixmap &loaded = m_loaded[side];
        if (loaded.isNull())
            loaded.load(file);
        const QSize wanted = actualSize(size, mode, state);
        return loaded.size() == wanted ? loaded
                                       : loaded.scaled(wanted, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) const override
#else
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
#endif
    {
        QList<QSize> sizes;
        for (const auto &entry : m_files)
            sizes << QSize(entry.first, entry.first);
        return sizes;
    }

private:
    // The smallest file at least as large as size, or the largest there is.
    std::pair<int, QString> fileFor(const QSize &size) const
    {
        const int side = qMax(size.width(), size.height());
        const auto found = m_files.lower_bound(side);
        return found != m_files.end() ? *found : *m_files.rbegin();
    }

    std::map<int, QString> m_files;
    std::map<int, QPixmap> m_loaded;
};

} // namespace

QIcon programIcon(std::initializer_list<int> sizes)
{
    std::map<int, QString> files;
    for (int size : sizes)
        files.emplace(size, QStringLiteral(":/icons/%1.png").arg(size));
    return QIcon(new LazyFileIconEngine(std::move(files)));
}
