#include "app/menu_layout.h"

namespace folio::app {

const std::vector<Menu>& MainMenus() {
    static const std::vector<Menu> menus = {
        {u"File_",
         u"&File",
         {
             {u"fileOpen", u"&Open...", u"Ctrl+O"},
             {u"fileExport", u"&Export...", u"Ctrl+S"},
             {u"filePrint", u"&Print...", u"Ctrl+P"},
             {u"sep1", u"-", u""},
             {u"fileClose", u"&Close", u"Ctrl+C"},
         }},
        {u"image_",
         u"&Image",
         {
             {u"image_rotate_clock", u"&Rotate clockwise 90\u00B0", u""},
             {u"image_rotate_anticlock", u"&Rotate anti-clockwise 90\u00B0", u""},
             {u"image_rotate_180", u"&Rotate 180\u00B0", u""},
             {u"sep2", u"-", u""},
             {u"data_inc", u"&Zoom Out", u"Shift+Insert"},
             {u"data_dec", u"&ZoomIn", u"Shift+Delete"},
             {u"sep3", u"-", u""},
             {u"original_size", u"&Original size", u""},
             {u"data_byHeight", u"&Fit to Height", u""},
             {u"data_byWidth", u"&Fit to Width", u""},
         }},
        {u"help_",
         u"&Help",
         {
             {u"help_aboute", u"&About program..", u""},
             {u"don", u"&Donation", u""},
         }},
    };
    return menus;
}

}  // namespace folio::app
