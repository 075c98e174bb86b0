#include "platform/qt/qt_open_file_dialog.h"

#include <QFileDialog>

#include "platform/qt/qstring_conversion.h"
#include "platform/qt/window_handles.h"

namespace folio::qt {
namespace {

// Windows patterns ("*.mdi;*.tif", "*.*") as Qt patterns on this platform.
QString QtPatterns(const std::u16string& pattern) {
    QStringList parts;
    for (const QString& part : ToQString(pattern).split(u';', Qt::SkipEmptyParts)) {
        const QString trimmed = part.trimmed();
        parts << (trimmed == QStringLiteral("*.*") ? QStringLiteral("*") : trimmed);
    }
    return parts.join(u' ');
}

}  // namespace

QStringList QtOpenFileDialog::NameFilters(const std::vector<FileFilter>& filters) {
    // With the dialog told to hide filter details, Qt shows the text before the last
    // parenthesised group, which therefore carries the pattern actually used.
    QStringList names;
    for (const FileFilter& filter : filters) {
        names << ToQString(filter.description) + QStringLiteral(" (") + QtPatterns(filter.pattern) +
                     u')';
    }
    return names;
}

std::optional<std::u16string> QtOpenFileDialog::ShowOpen(const OpenFileRequest& request) {
    QFileDialog dialog(WidgetOf(request.owner), ToQString(request.title),
                       ToQString(request.initialFolder));
    dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode((request.flags & kOpenFileMustExist) != 0 ? QFileDialog::ExistingFile
                                                                 : QFileDialog::AnyFile);
    const QStringList names = NameFilters(request.filters);
    dialog.setNameFilters(names);
    const auto index =
        static_cast<qsizetype>(request.filterIndex > 0 ? request.filterIndex - 1 : 0);
    if (index < names.size()) {
        dialog.selectNameFilter(names.at(index));
    }
    dialog.setWindowModality(Qt::WindowModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    std::u16string chosen = FromQString(dialog.selectedFiles().constFirst());
    if (chosen.size() > request.resultCapacity) {
        // Like a result buffer that is too small: the dialog fails.
        return std::nullopt;
    }
    // The result buffer as the system's dialog leaves it: the path, its terminating NUL
    // and the rest of the buffer, so that the caller's trimming never reaches the
    // path's own spaces.
    chosen.resize(request.resultCapacity + 1, u'\0');
    return chosen;
}

}  // namespace folio::qt
