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
    {322, "Exportieren...", "Export..."},
    {323, "Aufzeichnung für andere Programme speichern: sigrok-Sitzung (.sr, PulseView), "
          "Wertwechsel-Datei (.vcd, GTKWave) oder einfaches CSV (.csv, pandas, Tabellen)",
     "Save a recording for other programs: sigrok session (.sr, PulseView), value change dump "
     "(.vcd, GTKWave) or plain CSV (.csv, pandas, spreadsheets)"},
    {324, "Export nicht möglich:", "Cannot export:"},
    {325, "Gespeicherte Aufzeichnung zum Exportieren", "Stored recording to export"},
    {331,
     "Mausrad:~  X-Achse um den Zeiger zoomen~  mit Strg: Y-Achse zoomen~  mit Umschalt: "
     "verschieben~Cursor:~  mittlere Maustaste setzt A, dann B~  Strg+mittlere Maustaste "
     "entfernt sie~Ganze Ansicht: Strg+0",
     "Mouse wheel:~  zoom the X axis around the pointer~  with Ctrl: zoom the Y axis~  with "
     "Shift: pan~Cursors:~  middle button sets A, then B~  Ctrl+middle button removes "
     "them~Full view: Ctrl+0"},
    {332,
     "Mausrad:~  Zeitachse um den Zeiger zoomen~  mit Umschalt: verschieben~Cursor:~  mittlere "
     "Maustaste setzt A, dann B~  Strg+mittlere Maustaste entfernt sie~Ganze Ansicht: Strg+0",
     "Mouse wheel:~  zoom the time axis around the pointer~  with Shift: pan~Cursors:~  middle "
     "button sets A, then B~  Ctrl+middle button removes them~Full view: Ctrl+0"},
    {333, "Start / Stopp", "Start / stop"},
    {334, "Einzelmessung", "Single measurement"},
    {335, "Speichern", "Save"},
    {336, "Bild kopieren", "Copy picture"},
    {337, "Drucken", "Print"},
    {338, "Ganze Ansicht (Unzoom)", "Full view (unzoom)"},
    {339, "Hineinzoomen", "Zoom in"},
    {340, "Herauszoomen", "Zoom out"},
    {341, "Nächstes Blatt", "Next sheet"},
    {342, "Voriges Blatt", "Previous sheet"},
    {343, "Plot-Ansicht", "Plot"},
};
}  // namespace

std::span<const BuiltInText> builtInTexts3() {
  return kTexts;
}

}  // namespace tolv::detail
