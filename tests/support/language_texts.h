// A few texts each program must show in the language of the user locale a test runs
// under (QUILLON_EXPECT_LANGUAGE: its abbreviation, or at least the first two letters).
// German, French and Spanish have modules of their own; any other language gets the
// English texts. Written out here, not read from the modules, so a program that shows
// the wrong module's texts fails. Windows-1252 bytes, as the ANSI calls return them.
#pragma once

#include <cstdlib>
#include <string>

namespace quillon::test {

struct LanguageTexts {
    const char *prefix;           // "DE"; "" for the English fallback
    const char *moduleFile;       // the module loaded: "tasqde.dll"
    const char *cancel;           // IDCANCEL of every dialog
    const char *notConfigured;    // string 188, the scheduler's first-run question
    const char *smtpChoice;       // the start of the Mail System page's first radio button
    const char *alwaysConnected;  // the Internet Connection page's second radio button
    const char *subjectLabel;     // string 194
    const char *messageLabel;     // string 195
    const char *reminderMenu;     // menu 115's pop-up
    const char *scheduleItem;     // menu 115: the Schedule command
    const char *deleteButton;     // dialog 108: the Delete button
    const char *divideCheckBox;   // dialog 110: the divide check box
};

inline const LanguageTexts &ExpectedLanguageTexts()
{
    static const LanguageTexts kTexts[] = {
        {"DE", "tasqde.dll", "Abbrechen",
         "Quillon Scheduler wurde noch nicht konfiguriert.  Klicken Sie auf OK, um die Konfiguration zu starten.",
         "&Outlook Express, Outlook (nur Internet)", "&St\xE4ndig mit dem Internet verbunden.", "&Betreff:",
         "&Nachricht:", "&Erinnerung", "&Planen...", "L\xF6schen", "In mehrere Nachrichten aufteilen."},
        {"FR", "tasqfr.dll", "Annuler",
         "Quillon Scheduler n'est pas encore configur\xE9.  Cliquez sur OK pour le configurer.",
         "&Outlook Express, Outlook (Internet uniquement)", "&Toujours connect\xE9 \xE0 Internet.", "&Objet :",
         "&Message :", "&Rappel", "P&lanifier...", "Supprimer", "Diviser en plusieurs messages."},
        {"ES", "tasqes.dll", "Cancelar",
         "Quillon Scheduler no se ha configurado.  Presione Aceptar para configurarlo.",
         "&Outlook Express, Outlook (solo Internet)", "&Siempre conectado a Internet.", "&Asunto:", "&Mensaje:",
         "&Recordatorio", "&Programar...", "Eliminar", "Dividir en varios mensajes."},
        {"", "tasqen.dll", "Cancel", "Quillon Scheduler has not been configured.  Press OK to configure.",
         "&Outlook Express, Outlook (Internet-Only)", "&Always connected to the Internet.", "&Subject:",
         "&Message:", "&Reminder", "&Schedule...", "Delete", "Divide into multiple messages."},
    };
    const char *value = std::getenv("QUILLON_EXPECT_LANGUAGE");
    const std::string prefix = std::string(value != nullptr ? value : "").substr(0, 2);
    for (const LanguageTexts &texts : kTexts)
        if (prefix == texts.prefix)
            return texts;
    return kTexts[sizeof kTexts / sizeof kTexts[0] - 1];
}

} // namespace quillon::test
