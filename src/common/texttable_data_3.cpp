// Built-in German and English texts the program added after id 310: the trigger skew of the
// multi-device window, its checks of scale cells and runs, and the separator check of the
// main frame. "%1" and "%2" are filled in by the caller.
#include "common/texttable.h"

namespace tolv::detail {

namespace {
const BuiltInText kTexts[] = {
    {311, "Δt Trigger", "Δt trigger"},
    {312, "Triggerzeitpunkt jedes Geräts relativ zum ersten Gerät des Zyklus",
     "Trigger moment of each device relative to the first device of the cycle"},
    {313, "fehlt", "missing"},
    {314, "Von diesem Gerät kam in diesem Zyklus keine Messung",
     "No record of this device came in this cycle"},
    {315, "Kurven um Δt Trigger verschieben", "Shift curves by Δt trigger"},
    {316,
     "Zeichnet die Kurven jedes Geräts um seinen Triggerzeitpunkt relativ zum ersten Gerät "
     "verschoben auf der gemeinsamen Zeitachse",
     "Draws the curves of each device shifted by its trigger moment relative to the first "
     "device on the common time axis"},
    {317, "„%1“ ist keine brauchbare Zahl:~%2 bleibt in Gebrauch.",
     "\"%1\" is not a usable number:~%2 stays in use."},
    {318,
     "Der Spalten-Trenner „%1“ ist auch der Dezimal-Trenner: keine so geschriebene Datei wäre "
     "lesbar. Bitte zuerst den anderen Trenner ändern.",
     "The column separator \"%1\" is also the decimal separator: no file written so could be "
     "read. Please change the other separator first."},
    {319,
     "Eine Dauermessung läuft. Schließen beendet sie wie STOP. Messung beenden und Fenster "
     "schließen?",
     "A continuous run is going on. Closing ends it as BREAK does. End the run and close the "
     "window?"},
    {320, "Beenden und schließen", "End and close"},
    {321, "Weiter messen", "Keep measuring"},
    {322,
     "Mausrad:~  X-Achse um den Zeiger zoomen~  mit Strg: Y-Achse zoomen~  mit Umschalt: "
     "verschieben~Cursor:~  mittlere Maustaste setzt A, dann B~  Strg+mittlere Maustaste "
     "entfernt sie~Ganze Ansicht: Strg+0",
     "Mouse wheel:~  zoom the X axis around the pointer~  with Ctrl: zoom the Y axis~  with "
     "Shift: pan~Cursors:~  middle button sets A, then B~  Ctrl+middle button removes "
     "them~Full view: Ctrl+0"},
    {323,
     "Mausrad:~  Zeitachse um den Zeiger zoomen~  mit Umschalt: verschieben~Cursor:~  mittlere "
     "Maustaste setzt A, dann B~  Strg+mittlere Maustaste entfernt sie~Ganze Ansicht: Strg+0",
     "Mouse wheel:~  zoom the time axis around the pointer~  with Shift: pan~Cursors:~  middle "
     "button sets A, then B~  Ctrl+middle button removes them~Full view: Ctrl+0"},
    {324, "Start / Stopp", "Start / stop"},
    {325, "Einzelmessung", "Single measurement"},
    {326, "Speichern", "Save"},
    {327, "Bild kopieren", "Copy picture"},
    {328, "Drucken", "Print"},
    {329, "Ganze Ansicht (Unzoom)", "Full view (unzoom)"},
    {330, "Hineinzoomen", "Zoom in"},
    {331, "Herauszoomen", "Zoom out"},
    {332, "Nächstes Blatt", "Next sheet"},
    {333, "Voriges Blatt", "Previous sheet"},
    {334, "Plot-Ansicht", "Plot"},
};
}  // namespace

std::span<const BuiltInText> builtInTexts3() {
  return kTexts;
}

}  // namespace tolv::detail
