#pragma once

#include <QFont>
#include <QRect>
#include <QString>

#include "engine/tiff/page_directory.h"

class QKeyEvent;
class QPainter;

namespace folio::viewer {

// The page indicator in the viewer's lower right corner ("3 / 120"), and the go-to-page
// field it turns into ("Go to page 25 / 500"). The field is drawn and edited here rather
// than by a line edit: a focused line edit would take Ctrl+C, Shift+Insert and
// Shift+Delete for itself, and those belong to the program's menus.
class PageIndicator {
  public:
    enum class KeyResult {
        Ignored,  // not the field's key: handle it as usual
        Taken,    // typed into the field, refused, or the field closed
        Go,       // Enter on a page number: go there (see Target)
    };

    bool Editing() const { return editing_; }
    // Opens the field, empty.
    void StartEditing();
    void Cancel();
    // While editing: digits, Backspace, Enter and Escape. A digit that would make a
    // number outside 1 to `pageCount` is refused and leaves the field as it was.
    KeyResult Key(const QKeyEvent& event, int pageCount);
    // Types one digit as Key does; false when refused.
    bool Type(int digit, int pageCount);
    // The page Enter chose, from 1.
    int Target() const { return target_; }

    // What the indicator says; empty without pages. `currentPage` counts from 1.
    QString Text(int currentPage, int pageCount) const;
    // Where the indicator goes in `area` (its lower right corner); empty without pages.
    QRect Rect(const QFont& font, const QRect& area, int currentPage, int pageCount) const;
    void Paint(QPainter& painter, const QRect& area, int currentPage, int pageCount) const;

    // A page's size in pixels, resolution and compression as shown after
    // `quarterTurns`, and the zoom in percent of original size (both factors when they
    // differ). `page` counts from 1.
    static QString Details(int page, int pageCount, const engine::PageInfo& info, int quarterTurns,
                           double zoomX, double zoomY);

  private:
    static QFont Font(QFont font);
    // The field's width: room for the longest page number.
    static int FieldWidth(const QFont& font, int pageCount);

    bool editing_ = false;
    QString typed_;
    int target_ = 0;
};

}  // namespace folio::viewer
