#pragma once
// The program speaks Japanese whatever the user's locale: Qt's own texts
// (file dialogs, standard buttons, the text boxes' context menus) come from
// the Japanese catalogue Qt installs beside itself.
#include <QString>

namespace uilanguage {

// Installs Qt's Japanese catalogue into the running application, once, and
// makes Japanese the default locale; further calls do nothing. False when the catalogue could not be read
// (the texts stay English then).
bool installQtJapanese();

// Where the catalogue is looked for.
QString qtCatalogueDirectory();

} // namespace uilanguage
