#include "platform/qt/qt_save_file_dialog.h"

#include <QFileDialog>

#include "platform/qt/qstring_conversion.h"
#include "platform/qt/qt_open_file_dialog.h"
#include "platform/qt/window_handles.h"

namespace folio::qt {

std::vector<FileFilter> QtSaveFileDialog::FilterPairs(std::u16string_view list) {
    std::vector<std::u16string_view> parts;
    while (!list.empty()) {
        const size_t end = list.find(u'\0');
        const std::u16string_view part = list.substr(0, end);
        if (part.empty()) {
            break;
        }
        parts.push_back(part);
        list = end == std::u16string_view::npos ? std::u16string_view() : list.substr(end + 1);
    }
    std::vector<FileFilter> pairs;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        pairs.push_back({std::u16string(parts[i]), std::u16string(parts[i + 1])});
    }
    return pairs;
}

SaveDialogResult QtSaveFileDialog::GetSaveFileName(SaveFileRecord& record) {
    QFileDialog dialog(WidgetOf(record.owner), ToQString(record.title),
                       ToQString(record.initialDir));
    QFileDialog::Options options =
        QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails;
    if ((record.flags & kSaveOverwritePrompt) == 0) {
        options |= QFileDialog::DontConfirmOverwrite;
    }
    dialog.setOptions(options);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(ToQString(record.defExt));
    const QStringList names = QtOpenFileDialog::NameFilters(FilterPairs(record.filter));
    if (!names.isEmpty()) {
        dialog.setNameFilters(names);
        const qsizetype index = record.filterIndex > 0 ? record.filterIndex - 1 : 0;
        dialog.selectNameFilter(names.value(index, names.constFirst()));
    }
    dialog.setWindowModality(Qt::WindowModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return SaveDialogResult::Cancelled;
    }
    const QString chosen = dialog.selectedFiles().constFirst();
    // The buffer's size counts narrow bytes, its NUL included.
    if (static_cast<size_t>(chosen.toUtf8().size()) + 1 > record.maxFile) {
        return SaveDialogResult::BufferTooSmall;
    }
    std::u16string buffer = FromQString(chosen);
    buffer.resize(std::max<size_t>(record.maxFile, buffer.size() + 1), u'\0');
    record.file = std::move(buffer);
    return SaveDialogResult::Chosen;
}

}  // namespace folio::qt
