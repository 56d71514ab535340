// The dialog's texts in the user's language through GNU gettext (glibc's
// libintl): the catalog is bound by folder and read as UTF-8.
#include "platform/dialog/dialog_text.h"

#include <libintl.h>

#include <clocale>

const char* DialogText(const char* msgid) {
    // An empty message id would return the catalog's header.
    if (!msgid || !*msgid) return msgid;
    return dgettext(kDialogTextDomain, msgid);
}

void BindDialogTexts(const char* folder) {
    // GTK sets the same locale when it starts (and warns when the
    // environment names one that is not installed: the C locale stays, and
    // the texts are English); set here, it is in effect for the texts the
    // procedure builds before GTK is up as well.
    std::setlocale(LC_ALL, "");
    bindtextdomain(kDialogTextDomain, folder);
    bind_textdomain_codeset(kDialogTextDomain, "UTF-8");
}
