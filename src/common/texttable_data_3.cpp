// Built-in German and English texts the program added after id 310: the trigger skew of the
// multi-device window, its checks of scale cells and runs, and the separator check of the
// main frame. "%1" and "%2" are filled in by the caller.
#include "common/texttable.h"

namespace tolv::detail {

namespace {
const BuiltInText kTexts[] = {
    {311, "Δt Trigger", "Δt trigger"},
    {312,
     "Triggerzeitpunkt jedes Geräts relativ zum frühesten Trigger der aufgeführten "
     "Aufnahmen",
     "Trigger moment of each device relative to the earliest trigger of the records listed"},
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
    {326, "Getrennt", "Disconnected"},
    {327,
     "Gerät %1 ist nicht mehr angeschlossen. Alles bis dahin Angekommene ist gespeichert. "
     "Wieder einstecken: das Fenster verbindet sich von selbst und sendet seine Einstellungen.",
     "Device %1 is no longer attached. Everything that arrived before is kept. Plug it in "
     "again: the window reconnects by itself and sends its settings."},
    {328, "Eine durch das Trennen abgeschnittene Aufnahme wurde verworfen (%1 von %2 Bytes).",
     "A record cut off by the disconnection was discarded (%1 of %2 bytes)."},
    {329, "Kein Zugriff", "No access"},
    {330,
     "Gerät %1 ist angeschlossen, darf aber nicht geöffnet werden (keine Zugriffsrechte).~"
     "1. Die udev-Regel des Pakets muss installiert sein: "
     "/usr/lib/udev/rules.d/70-multi-tolvanex-ftdi.rules~"
     "2. „udevadm info /dev/bus/usb/BBB/GGG“ (Nummern aus „lsusb“) muss TAGS mit uaccess oder "
     "GROUP plugdev zeigen; ohne Sitz am Rechner muss „groups“ plugdev nennen (sonst: "
     "adduser BENUTZER plugdev, neu anmelden)~"
     "3. Dann das Gerät aus- und wieder einstecken.",
     "Device %1 is attached but may not be opened (no access rights).~"
     "1. The package's udev rule must be installed: "
     "/usr/lib/udev/rules.d/70-multi-tolvanex-ftdi.rules~"
     "2. \"udevadm info /dev/bus/usb/BBB/DDD\" (numbers from \"lsusb\") must show TAGS with "
     "uaccess or GROUP plugdev; when not logged in at the machine's seat, \"groups\" must list "
     "plugdev (else: adduser USER plugdev, log in again)~"
     "3. Then unplug the device and plug it in again."},
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
    {344, "Angezeigte Aufzeichnung exportieren...", "Export record on screen..."},
    {345,
     "Die Aufzeichnung im vorderen Blatt für andere Programme speichern: sigrok-Sitzung (.sr), "
     "Wertwechsel-Datei (.vcd) oder einfaches CSV (.csv)",
     "Save the recording on the sheet in front for other programs: sigrok session (.sr), value "
     "change dump (.vcd) or plain CSV (.csv)"},
    {346,
     "Die zusammengeführte Aufzeichnung auf dem Bildschirm für andere Programme speichern: "
     "sigrok-Sitzung (.sr) oder einfaches CSV (.csv)",
     "Save the merged recording on screen for other programs: sigrok session (.sr) or plain CSV "
     "(.csv)"},
    // Not shown any more (such a stream is drawn from the file); kept so the id stays taken.
    {347,
     "Keine XY-Darstellung: der Datenstrom hat mehr als %1 verschiedene Linien. Bitte eine "
     "Zeitdarstellung wählen.",
     "No XY plot: the stream holds more than %1 distinct lines. Choose a time plot."},
    // Hints and captions the device window and the multi-device window used to carry in one
    // language only.
    {348, "Scope-Bild drucken", "Print scope image"},
    {349, "Standard-Größe", "Standard size"},
    {350, "Single: Einzelmessung", "Single: one measurement, then stop"},
    {351, "Neue Aufnahme, während gezeichnet wird", "Next record is taken while this one is drawn"},
    {352, "AUS", "OFF"},
    {353, "Automatisches Speichern im CSV-Format, Separator: TAB",
     "Automatic saving in CSV format, separator: TAB"},
    {354, "Automatisches Speichern im Binärformat", "Automatic saving in binary format"},
    {355, " Plot-Modus ", " Plot Mode "},
    {356, "N Befehle in der Warteschlange", "N commands in queue"},
    {357, "Abfragezeit in ms", "polling time in ms"},
    {358, "Hilfsteiler für den Tastkopf", "Aux Divider for probe"},
    {359, "Klicken zeigt die Testelemente", "Click to uncover debug controls"},
    {360, "Zählen", "Count"},
    {361, "Integrationsschwelle", "Integration threshold"},
    {362, "Plot-Optionen", "Plot options"},
    {363, "Leistungs-Verlauf zeichnen", "Draw power curve"},
    {364, "Energie-Verlauf zeichnen", "Draw energy curve"},
    {365, "(Skalenanfang)", "(scale start)"},
    {366, "(Skalenende)", "(scale end)"},
    {367, "DORNELL-Kommentar", "DORNELL comment"},
    // While a logger runs its picture stays empty: it is drawn from the stream once the run ends.
    {368,
     "Aufzeichnung läuft: das Bild wird am Ende der Aufzeichnung gezeichnet (STOP beendet sie).",
     "Logging: the plot is drawn when the run ends (BREAK ends it)."},
    {369, "Stoppt", "Stopping"},
    {370,
     "Das Gerät hat den Stopp und sendet die begonnene Aufzeichnung noch zu Ende;~sie wird "
     "behalten, und die Messung endet, sobald sie da ist;~START beginnt dann eine neue.",
     "The device has the stop and still sends the record it began to its end;~it is kept, "
     "and the run ends as soon as it is in;~RUN starts a new one then."},
    {371, "Das Gerät hat die Abtastzeit %1 statt %2 übernommen.",
     "The device took the sample time %1 instead of %2."},
    {372, "sigrok-Sitzung", "sigrok session"},
    {373, "Wertwechsel-Datei", "Value change dump"},
    {374, "Einfaches CSV", "Plain CSV"},
    {375, "unbekannte Art von Datei", "unknown kind of file"},
    {376, "Über Multi_Tolvanex", "About Multi_Tolvanex"},
    {377, "Messprogramm für Tolvanex-Geräte", "Measurement program for Tolvanex devices"},
    {378, "Klicken schließt dieses Fenster", "Click to close this window"},
    {379, "Produkt", "Product"},
    {380, "Interner Name", "Internal name"},
    {381, "Programmdatei", "Program file"},
    {382, "Hersteller", "Company"},
    {383, "Urheberrecht", "Copyright"},
    {384, "Programmversion", "Version"},
    {385, "Beschreibung", "Description"},
    {386, "belegt", "busy"},
    {387,
     "Das Gerät ist in einer eigenen Messung in einer anderen Betriebsart; die "
     "Mehrgerätemessung läuft ohne es, bis diese endet",
     "The device is in a run of its own in another mode; the multi-device run goes on without "
     "it until that run ends"},
    {388, "in einer eigenen Messung in einer anderen Betriebsart.",
     "in a run of its own in another mode."},
    {389, "Kein Gerät ist frei: die Mehrgerätemessung ist beendet.",
     "No device is free: the multi-device run has ended."},
    {390, "Die Mehrgerätemessung lässt es aus, bis diese Messung endet.",
     "The multi-device run leaves it out until that run ends."},
    {391, "nicht 408 Byte lang, kein Einstellungsbild", "not 408 bytes long, no settings image"},
    {392,
     "Werte der Datei bietet das Fenster nicht an; sie wurden durch die nächsten angebotenen "
     "ersetzt.",
     "values of the file are none the window offers; they were replaced by the nearest it "
     "offers."},
    {393,
     "Der Speicher des Oszilloskops hält %2 Samples: von den %1 Samples dieser Messung werden "
     "nur die ersten %2 gezeigt und gespeichert.",
     "The scope's memory holds %2 samples: of the %1 samples of this run only the first %2 are "
     "shown and stored."},
    {394, "Datenlogger: %1 Samples empfangen", "Data logger: %1 samples received"},
    {395,
     "Multi_Tolvanex: die Einstellungen von Gerät %1 konnten nicht in %2 gespeichert werden "
     "(Fehler %3); der nächste Start stellt sie nicht wieder her.",
     "Multi_Tolvanex: the settings of device %1 could not be stored in %2 (error %3); the next "
     "start will not restore them."},
    {396,
     "Die letzte Messung endete, als das Gerät getrennt wurde; was bis dahin ankam, ist "
     "gespeichert.",
     "The last run ended when the device was disconnected; what arrived until then is kept."},
    {397, "%1 ist beschädigt oder fehlt: die Einstellungen wurden aus %2 geladen.",
     "%1 is damaged or missing: the settings were loaded from %2."},
    {398, "kein Trigger", "no trigger"},
    {399,
     "Die Messung ging an das Gerät, aber sie hat in der Sammelzeit nicht getriggert oder "
     "wurde nicht fertig; sie wurde abgebrochen",
     "The run went out to the device, but it did not trigger or finish within the collecting "
     "time; it was stopped"},
    {400, "abgebrochen", "stopped"},
    {401, "STOP beendete die Messung des Geräts; keine Aufnahme von ihr kam",
     "BREAK ended the device's run; no record of it came"},
    {402, "überträgt noch", "transferring"},
    {403,
     "Eine Messung des Geräts wird noch übertragen; erst danach nimmt das Gerät eine neue "
     "Messung an",
     "A record of the device is still being transferred; the device takes a new run only after "
     "it"},
    {404, "Min. =", "min ="},
    {405, "Max. =", "max ="},
    {406, "Der Triggerpunkt liegt hinter dem gespeicherten Teil.",
     "The trigger point lies after the stored part."},
    {407,
     "Das Gerät misst in der Mehrgerätemessung: bis sie endet, wird es im Fenster "
     "Multi-Tolvanex Oszillogramme gestartet",
     "The device measures in the multi-device run: until that run ends it is started in the "
     "Multi-Tolvanex Oscillographs window"},
    {408, "Die aktiven Geräte wurden geändert: die Messung ist beendet.",
     "The active devices changed: the run has ended."},
    {409, "Auf Oszilloskop (OSA0) umgestellt für die Mehrgerätemessung:",
     "Switched to the scope (OSA0) for the multi-device run:"},
    {410,
     "Der Anfang der letzten Aufnahme kann verschoben sein: ihre Bytes lassen nicht erkennen, "
     "ob der Rest der vorigen Aufnahme vor ihr kam.",
     "The start of the last record may be shifted: its bytes do not tell whether the rest of "
     "the record before came ahead of it."},
    {411,
     "Die Gerätedatei %1 kann nicht geschrieben werden: %2. Ihre Aufnahme bleibt in der "
     "Mehrgeräte-Datendatei.",
     "The device file %1 cannot be written: %2. Its record stays in the multi-device data "
     "file."},
    {412,
     "Die Gerätedateien können nicht geschrieben werden; ihre Aufnahmen bleiben in der "
     "Mehrgeräte-Datendatei:%1",
     "The device files cannot be written; their records stay in the multi-device data file:%1"},
    {413, "Neustart", "Restarting"},
    {414,
     "Das Gerät hat den Stopp und sendet die begonnene Aufzeichnung noch zu Ende;~sie wird "
     "behalten, dann beginnt die neue Messung;~STOP nimmt den Neustart zurück.",
     "The device has the stop and still sends the record it began to its end;~it is kept, "
     "then the new run begins;~BREAK takes the restart back."},
    {415, "Nimmt den Neustart nach dem Stopp zurück: die Messung endet mit dem Stopp",
     "Takes back the restart after the stop: the run ends with the stop"},
    {416, "Das Gerät schweigt auf den Stopp: dieser Druck sendet ihn noch einmal",
     "The device has gone quiet on the stop: this press sends it once more"},
    {420, "sein Dateikopf %1 ist beschädigt (%2)", "its text header %1 is damaged (%2)"},
    {421,
     "%1 ist keine Zwischendatei, sondern %2. Hier werden nur Zwischendateien (.FIL) "
     "angenommen.",
     "%1 is not an intermediate file but %2. Only intermediate files (.FIL) are taken here."},
    {422, "eine Oszilloskop-Datendatei (binär)", "a scope data file (binary)"},
    {423, "eine Logik-Analysator-Datendatei (binär)", "a logic analyzer data file (binary)"},
    {424, "eine CSV-Datendatei", "a CSV data file"},
    {425, "eine Datei anderer Art", "a file of another kind"},
    {426, "%1 ist eine Zwischendatei der Familie %2, nicht %3.",
     "%1 is an intermediate file of the %2 family, not %3."},
    {427,
     "BIN-Autospeichern gilt nicht in der Betriebsart %1: ihre Daten stehen nur in der "
     "Zwischendatei; CSV speichert sie als Tabelle.",
     "BIN auto-save does not apply in mode %1: its data are kept in the intermediate file "
     "only; CSV saves them as a table."},
    {428, "eine binäre Datendatei (.VXD)", "a binary data file (.VXD)"},
    {429, "sein Dateikopf %1 fehlt", "its text header %1 is missing"},
    {430, "%1 wird nur zum Teil gezeigt: %2", "%1 is shown only in part: %2"},
    {431, "%1 kann nicht gezeigt werden: %2", "%1 cannot be shown: %2"},
    {432, "%1 wurde nicht geschrieben: %2", "%1 was not written: %2"},
    {433,
     "Die letzte Messung endete, als das Gerät getrennt wurde; die dabei abgeschnittene "
     "Aufnahme wurde verworfen (%1 von %2 Bytes).",
     "The last run ended when the device was disconnected; the record it cut off was "
     "discarded (%1 of %2 bytes)."},
    {436,
     "%1 ist gezeichnet, doch die laufende Messung zeichnet ihre nächsten Zyklen an seiner "
     "Stelle (deren Aufnahmen werden wie gewohnt gespeichert). Zum Ansehen die Messung anhalten "
     "und die Datei erneut laden.",
     "%1 is drawn, but the running measurement draws its next cycles in its place (their "
     "records are saved as usual). To look at the file, stop the run and load it again."},
    {437, "Sammelzeit von %1 ms auf %2 ms geändert.",
     "Collecting time changed from %1 ms to %2 ms."},
    {438,
     "Aus der längsten Aufnahme seit der Aktivierung der Geräte: %1, %2 Werte, %3 Messung, %4 "
     "Übertragung, dazu %5. Erneutes Aktivieren setzt sie zurück.",
     "Set from the longest record since the devices were activated: %1, %2 samples, %3 to "
     "record, %4 to transfer, plus %5. Activating again resets it."},
};
}  // namespace

std::span<const BuiltInText> builtInTexts3() {
  return kTexts;
}

}  // namespace tolv::detail
