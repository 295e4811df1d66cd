<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>BlinkReminderWidget</name>
    <message>
        <source>just blink ;)</source>
        <translation>einfach blinzeln ;)</translation>
    </message>
</context>
<context>
    <name>BreakReminderWidget</name>
    <message>
        <source>Use drag and drop to change the reminder position.</source>
        <translation>Ziehen Sie die Erinnerung mit der Maus, um ihre Position zu ändern.</translation>
    </message>
    <message>
        <source>lumora: it is time for your break</source>
        <translation>lumora: Zeit für Ihre Pause</translation>
    </message>
    <message>
        <source>The reminder disappears after you take a 4 minutes break.</source>
        <translation>Die Erinnerung verschwindet, sobald Sie 4 Minuten Pause gemacht haben.</translation>
    </message>
    <message>
        <source>My work is more important than my veins and eyes.</source>
        <translation>Meine Arbeit ist wichtiger als meine Venen und Augen.</translation>
    </message>
    <message>
        <source>SKIP</source>
        <translation>ÜBERSPRINGEN</translation>
    </message>
    <message>
        <source>Give me five more minutes</source>
        <translation>Gib mir noch fünf Minuten</translation>
    </message>
    <message>
        <source>SNOOZE (5 min.)</source>
        <translation>SPÄTER (5 Min.)</translation>
    </message>
</context>
<context>
    <name>Downloader</name>
    <message>
        <source>Updater</source>
        <translation>Aktualisierung</translation>
    </message>
    <message>
        <source>Downloading updates</source>
        <translation>Updates werden heruntergeladen</translation>
    </message>
    <message>
        <source>Time remaining: 0 minutes</source>
        <translation>Verbleibende Zeit: 0 Minuten</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Anhalten</translation>
    </message>
    <message>
        <source>The update cannot be downloaded.</source>
        <translation>Das Update kann nicht heruntergeladen werden.</translation>
    </message>
    <message>
        <source>Time remaining</source>
        <translation>Verbleibende Zeit</translation>
    </message>
    <message>
        <source>unknown</source>
        <translation>unbekannt</translation>
    </message>
    <message>
        <source>Downloading Updates</source>
        <translation>Updates werden heruntergeladen</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>Unbekannt</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 Bytes</translation>
    </message>
    <message>
        <source>of</source>
        <translation>von</translation>
    </message>
    <message>
        <source>about %1 hours</source>
        <translation>etwa %1 Stunden</translation>
    </message>
    <message>
        <source>1 minute</source>
        <translation>1 Minute</translation>
    </message>
    <message>
        <source>%1 minutes</source>
        <translation>%1 Minuten</translation>
    </message>
    <message>
        <source>1 second</source>
        <translation>1 Sekunde</translation>
    </message>
    <message>
        <source>%1 seconds</source>
        <translation>%1 Sekunden</translation>
    </message>
    <message>
        <source>Press OK to download again.</source>
        <translation>Drücken Sie OK, um erneut herunterzuladen.</translation>
    </message>
    <message>
        <source>Error, the downloaded update is corrupted!</source>
        <translation>Fehler, das heruntergeladene Update ist beschädigt!</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Download complete!</source>
        <translation>Download abgeschlossen!</translation>
    </message>
    <message>
        <source>The installer will open separately</source>
        <translation>Das Installationsprogramm wird separat geöffnet</translation>
    </message>
    <message>
        <source>Installing the update will terminate the application.</source>
        <translation>Die Installation des Updates beendet die Anwendung.</translation>
    </message>
    <message>
        <source>Click &quot;OK&quot; to begin installing the update</source>
        <translation>Klicken Sie auf „OK“, um die Installation des Updates zu starten</translation>
    </message>
    <message>
        <source>Click the &quot;Open&quot; button to apply the update</source>
        <translation>Klicken Sie auf „Öffnen“, um das Update anzuwenden</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>The downloaded update is missing!</source>
        <translation>Das heruntergeladene Update fehlt!</translation>
    </message>
    <message>
        <source>The downloaded update could not be opened.</source>
        <translation>Das heruntergeladene Update konnte nicht geöffnet werden.</translation>
    </message>
    <message>
        <source>Are you sure you want to cancel the download?</source>
        <translation>Möchten Sie den Download wirklich abbrechen?</translation>
    </message>
</context>
<context>
    <name>ExerciseReminderWidget</name>
    <message>
        <source>Use drag and drop to change the reminder position.</source>
        <translation>Ziehen Sie die Erinnerung mit der Maus, um ihre Position zu ändern.</translation>
    </message>
    <message>
        <source>lumora eye exercise</source>
        <translation>lumora Augenübung</translation>
    </message>
    <message>
        <source>My work is more important than my eyes.</source>
        <translation>Meine Arbeit ist wichtiger als meine Augen.</translation>
    </message>
    <message>
        <source>SKIP</source>
        <translation>ÜBERSPRINGEN</translation>
    </message>
    <message>
        <source>Look out of the window (or towards any other long distance) for 10 sec.</source>
        <translation>Schauen Sie 10 Sek. lang aus dem Fenster (oder in eine andere weite Ferne).</translation>
    </message>
    <message>
        <source>Blink while squeezing your lids for 10 sec.</source>
        <translation>Blinzeln Sie 10 Sek. lang und kneifen Sie dabei die Lider fest zusammen.</translation>
    </message>
    <message>
        <source>Move your eyes from side to side for 10 sec.</source>
        <translation>Bewegen Sie Ihre Augen 10 Sek. lang von einer Seite zur anderen.</translation>
    </message>
    <message>
        <source>Rotate your eyes for 10 sec.</source>
        <translation>Rollen Sie Ihre Augen 10 Sek. lang.</translation>
    </message>
</context>
<context>
    <name>LumoraGUI</name>
    <message>
        <source>version</source>
        <translation>Version</translation>
    </message>
    <message>
        <source>lumora - settings</source>
        <translation>lumora - Einstellungen</translation>
    </message>
    <message>
        <source>SAVE NEW POSITION</source>
        <translation>NEUE POSITION SPEICHERN</translation>
    </message>
    <message>
        <source>Measurements</source>
        <translation>Messungen</translation>
    </message>
    <message>
        <source>Blinks per minute</source>
        <translation>Blinzeln pro Minute</translation>
    </message>
    <message>
        <source>healthy</source>
        <translation>gesund</translation>
    </message>
    <message>
        <source>lumora - presentation mode</source>
        <translation>lumora - Präsentationsmodus</translation>
    </message>
    <message>
        <source>lumora camera use paused</source>
        <translation>lumora - Kameranutzung pausiert</translation>
    </message>
    <message>
        <source>lumora</source>
        <translation>lumora</translation>
    </message>
    <message>
        <source>Measurement will start shortly.</source>
        <translation>Die Messung beginnt in Kürze.</translation>
    </message>
    <message>
        <source>No measurement taken yet. Your blink rate is measured approximately every 30 minutes.</source>
        <translation>Noch keine Messung durchgeführt. Ihre Blinzelrate wird etwa alle 30 Minuten gemessen.</translation>
    </message>
    <message>
        <source>Measurement in progress</source>
        <translation>Messung läuft</translation>
    </message>
    <message>
        <source>Lumora observes your blinks (blink training is active).</source>
        <translation>Lumora beobachtet Ihr Blinzeln (das Blinzeltraining ist aktiv).</translation>
    </message>
    <message>
        <source>Error:</source>
        <translation>Fehler:</translation>
    </message>
    <message>
        <source> insufficient memory RAM or missing data.dat.</source>
        <translation> zu wenig Arbeitsspeicher oder data.dat fehlt.</translation>
    </message>
    <message>
        <source> camera is used by other software.</source>
        <translation> die Kamera wird von einem anderen Programm verwendet.</translation>
    </message>
    <message>
        <source> low frame per second, cheap camera or bad light conditions.</source>
        <translation> zu wenige Bilder pro Sekunde, einfache Kamera oder schlechte Lichtverhältnisse.</translation>
    </message>
    <message>
        <source>Face not detected, please test blink detection performance (webcam icon).</source>
        <translation>Kein Gesicht erkannt, bitte testen Sie die Blinzelerkennung (Webcam-Symbol).</translation>
    </message>
    <message>
        <source>More than one face detected.</source>
        <translation>Mehr als ein Gesicht erkannt.</translation>
    </message>
    <message>
        <source> empty frame received, camera unplugged? (or bad cable or broken camera or bad driver).</source>
        <translation> leeres Bild empfangen, ist die Kamera ausgesteckt? (oder schlechtes Kabel, defekte Kamera oder fehlerhafter Treiber).</translation>
    </message>
    <message>
        <source> wmic.exe missing from Windows PATH. Windows installation is corrupted.</source>
        <translation> wmic.exe fehlt im Windows-PATH. Die Windows-Installation ist beschädigt.</translation>
    </message>
    <message>
        <source> camera is not connected.</source>
        <translation> die Kamera ist nicht angeschlossen.</translation>
    </message>
    <message>
        <source>no error</source>
        <translation>kein Fehler</translation>
    </message>
    <message>
        <source>lumora - about</source>
        <translation>lumora - über</translation>
    </message>
    <message>
        <source>Test blink detection</source>
        <translation>Blinzelerkennung testen</translation>
    </message>
    <message>
        <source>is running in background. You can quit Lumora by opening the right-click menu at this tray icon.</source>
        <comment>trayicon</comment>
        <translation>läuft im Hintergrund. Sie können Lumora über das Kontextmenü dieses Symbols im Infobereich (Rechtsklick) beenden.</translation>
    </message>
    <message>
        <source>CHANGE REMINDER POSITION</source>
        <translation>POSITION DER ERINNERUNG ÄNDERN</translation>
    </message>
    <message>
        <source>Open history</source>
        <translation>Verlauf öffnen</translation>
    </message>
    <message>
        <source>Blink rate:</source>
        <translation>Lidschlagrate:</translation>
    </message>
    <message>
        <source>blinks per minute</source>
        <translation>Lidschläge pro Minute</translation>
    </message>
    <message>
        <source>Average blink duration:</source>
        <translation>Durchschnittliche Lidschlagdauer:</translation>
    </message>
    <message>
        <source>milliseconds</source>
        <translation>Millisekunden</translation>
    </message>
    <message>
        <source>Blink measurement completed</source>
        <translation>Lidschlagmessung abgeschlossen</translation>
    </message>
    <message>
        <source>Blink rate: </source>
        <translation>Lidschlagrate: </translation>
    </message>
    <message>
        <source> blinks per minute</source>
        <translation> Lidschläge pro Minute</translation>
    </message>
</context>
<context>
    <name>Model</name>
    <message>
        <source>empty frame received
camera disconnected
or broken or bad cable
or bad driver</source>
        <translation>leeres Bild empfangen
Kamera getrennt
oder defekt, schlechtes Kabel
oder fehlerhafter Treiber</translation>
    </message>
    <message>
        <source>empty frame received
camera disconnected
or broken or bad cable
or bad driver
or blocked by Windows privacy settings</source>
        <translation type="vanished">leeres Bild empfangen
Kamera getrennt
oder defekt, schlechtes Kabel
oder fehlerhafter Treiber
oder durch die Windows-Datenschutzeinstellungen blockiert</translation>
    </message>
    <message>
        <source>camera is occupied or not connected</source>
        <translation>Kamera ist belegt oder nicht angeschlossen</translation>
    </message>
    <message>
        <source>camera is occupied or not connected
or blocked by Windows privacy settings</source>
        <translation type="vanished">Kamera ist belegt oder nicht angeschlossen
oder durch die Windows-Datenschutzeinstellungen blockiert</translation>
    </message>
    <message>
        <source>loading classifiers</source>
        <translation>Klassifikatoren werden geladen</translation>
    </message>
    <message>
        <source>missing file: data.dat or low memory</source>
        <translation>Datei fehlt: data.dat oder zu wenig Speicher</translation>
    </message>
    <message>
        <source>blink detected</source>
        <translation>Blinzeln erkannt</translation>
    </message>
</context>
<context>
    <name>Updater</name>
    <message>
        <source>Version %1 of %2 has been released!</source>
        <translation>Version %1 von %2 wurde veröffentlicht!</translation>
    </message>
    <message>
        <source>Would you like to download the update now (size %1MB)?</source>
        <translation>Möchten Sie das Update jetzt herunterladen (Größe %1MB)?</translation>
    </message>
</context>
<context>
    <name>WidgetProxy</name>
    <message>
        <source>The port must be a number from 0 to 65535.</source>
        <translation>Der Port muss eine Zahl von 0 bis 65535 sein.</translation>
    </message>
    <message>
        <source>Server unreachable or network settings has changed. Please provide valid settings or restart lumora.</source>
        <translation>Server nicht erreichbar oder die Netzwerkeinstellungen haben sich geändert. Bitte geben Sie gültige Einstellungen ein oder starten Sie lumora neu.</translation>
    </message>
</context>
<context>
    <name>WidgetStatistics</name>
    <message>
        <source>Blinks per minute (bpm)</source>
        <translation>Lidschläge pro Minute (LpM)</translation>
    </message>
    <message>
        <source>healthy</source>
        <translation>gesund</translation>
    </message>
    <message>
        <source>Blink rate:</source>
        <translation>Lidschlagrate:</translation>
    </message>
    <message>
        <source>blinks per minute</source>
        <translation>Lidschläge pro Minute</translation>
    </message>
    <message>
        <source>Average blink duration:</source>
        <translation>Durchschnittliche Lidschlagdauer:</translation>
    </message>
    <message>
        <source>milliseconds</source>
        <translation>Millisekunden</translation>
    </message>
    <message>
        <source>Are you sure to delete all measurements?</source>
        <translation>Möchten Sie wirklich alle Messungen löschen?</translation>
    </message>
</context>
<context>
    <name>widgetProxy</name>
    <message>
        <source>Proxy settings</source>
        <translation>Proxy-Einstellungen</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>use these settings</source>
        <translation>diese Einstellungen verwenden</translation>
    </message>
    <message>
        <source>Veryfing connection, please wait...</source>
        <translation>Verbindung wird geprüft, bitte warten...</translation>
    </message>
    <message>
        <source>port:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>username:</source>
        <translation>Benutzername:</translation>
    </message>
    <message>
        <source>password:</source>
        <translation>Passwort:</translation>
    </message>
    <message>
        <source>SAVE</source>
        <translation>SPEICHERN</translation>
    </message>
    <message>
        <source>CANCEL</source>
        <translation>ABBRECHEN</translation>
    </message>
</context>
<context>
    <name>widgetStatistics</name>
    <message>
        <source>Statistics</source>
        <translation>Statistik</translation>
    </message>
    <message>
        <source>Maximize</source>
        <translation>Maximieren</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Start Date</source>
        <translation>Startdatum</translation>
    </message>
    <message>
        <source>End date</source>
        <translation>Enddatum</translation>
    </message>
    <message>
        <source>DELETE HISTORY</source>
        <translation>VERLAUF LÖSCHEN</translation>
    </message>
</context>
<context>
    <name>widget_lumora</name>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Zurück</translation>
    </message>
    <message>
        <source>Test my camera</source>
        <translation>Meine Kamera testen</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <source>Minimize to tray icon</source>
        <translation>In das Infobereich-Symbol minimieren</translation>
    </message>
    <message>
        <source>Camera</source>
        <translation>Kamera</translation>
    </message>
    <message>
        <source>Select camera</source>
        <translation>Kamera auswählen</translation>
    </message>
    <message>
        <source>SETTINGS</source>
        <translation>EINSTELLUNGEN</translation>
    </message>
    <message>
        <source>This is a real-time blink detection test only, no measurement will be taken.</source>
        <translation>Dies ist nur ein Test der Blinzelerkennung in Echtzeit, es wird keine Messung durchgeführt.</translation>
    </message>
    <message>
        <source>Did you allow camera use?</source>
        <translation>Haben Sie die Kameranutzung erlaubt?</translation>
    </message>
    <message>
        <source>PRIVACY SETTINGS</source>
        <translation>DATENSCHUTZEINSTELLUNGEN</translation>
    </message>
    <message>
        <source>The camera speed is important. Lumora works from 20 frames per second (fps). Older or cheaper cameras can suffer from decreased capture speed during low light conditions due to increase of exposure time to balance the image brightness. On the contrary, too much light in camera view (e.g. window) reduces the exposure time and face could be too dark to detect blinks.</source>
        <translation>Die Geschwindigkeit der Kamera ist wichtig. Lumora arbeitet ab 20 Bildern pro Sekunde (fps). Ältere oder günstigere Kameras nehmen bei wenig Licht oft langsamer auf, weil sie die Belichtungszeit verlängern, um die Bildhelligkeit auszugleichen. Umgekehrt verkürzt zu viel Licht im Kamerabild (z. B. ein Fenster) die Belichtungszeit, und das Gesicht kann zu dunkel sein, um Blinzeln zu erkennen.</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;justify&quot;&gt;No internet connection detected on startup. Restart lumora to try again. Do you use &lt;a href=&quot;https://www.whatismyproxy.com/&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;proxy&lt;/span&gt;&lt;/a&gt;? If you are at work probably your employer blocks some network communication. You can connect your computer by your phone to the Internet or use public wifi hotspot.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;justify&quot;&gt;Beim Start wurde keine Internetverbindung gefunden. Starten Sie lumora neu, um es erneut zu versuchen. Verwenden Sie einen &lt;a href=&quot;https://www.whatismyproxy.com/&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;Proxy&lt;/span&gt;&lt;/a&gt;? Wenn Sie bei der Arbeit sind, blockiert Ihr Arbeitgeber wahrscheinlich einen Teil der Netzwerkkommunikation. Sie können Ihren Computer über Ihr Telefon mit dem Internet verbinden oder einen öffentlichen WLAN-Hotspot nutzen.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>PROXY SETTINGS</source>
        <translation>PROXY-EINSTELLUNGEN</translation>
    </message>
    <message>
        <source>Hotkeys</source>
        <translation>Tastenkürzel</translation>
    </message>
    <message>
        <source>enable</source>
        <translation>aktivieren</translation>
    </message>
    <message>
        <source>Increase screen brightness:</source>
        <translation>Bildschirmhelligkeit erhöhen:</translation>
    </message>
    <message>
        <source>Decrease screen brightness:</source>
        <translation>Bildschirmhelligkeit verringern:</translation>
    </message>
    <message>
        <source>Change color temperature:</source>
        <translation>Farbtemperatur ändern:</translation>
    </message>
    <message>
        <source>Sometimes, when we need camera for other things like Skype or Call, the camera based features can be paused, while preserving the other features. The rules for automatic pause can be defined based on the Windows titles. For example, Skype runs in background and only when is running foreground there is a predisposition that it will need camera sooner or later.</source>
        <translation>Wenn wir die Kamera für anderes brauchen, etwa für Skype oder einen Anruf, können die kamerabasierten Funktionen pausiert werden, während die übrigen Funktionen weiterlaufen. Die Regeln für die automatische Pause lassen sich anhand der Fenstertitel festlegen. Skype läuft zum Beispiel im Hintergrund, und erst wenn es im Vordergrund läuft, wird es früher oder später wahrscheinlich die Kamera brauchen.</translation>
    </message>
    <message>
        <source>Automatic pause camera based features</source>
        <translation>Kamerabasierte Funktionen automatisch pausieren</translation>
    </message>
    <message>
        <source>When running on battery</source>
        <translation>Im Akkubetrieb</translation>
    </message>
    <message>
        <source>When a keyword is present as part of window title of an app:</source>
        <translation>Wenn ein Stichwort im Fenstertitel einer Anwendung vorkommt:</translation>
    </message>
    <message>
        <source>When a keyword is present as part of window title of foreground running app:</source>
        <translation>Wenn ein Stichwort im Fenstertitel der Anwendung im Vordergrund vorkommt:</translation>
    </message>
    <message>
        <source>separate by &apos;;&apos;, for example: &quot;Skype;Call;Zoom&quot;</source>
        <translation>mit &apos;;&apos; trennen, zum Beispiel: &quot;Skype;Call;Zoom&quot;</translation>
    </message>
    <message>
        <source>Sometimes, there is a big presentation on our laptop, or we are just watching a movie, in such cases it is desired to pause all lumora features so no reminders will come out. We can do it manually or define the automatic pause based on rules in settings. Here lumora looks only if given application is running or not. For example a media player, game or presentation tool. We can see all our running apps in Task Manager of the operating system.</source>
        <translation>Manchmal halten wir auf dem Laptop eine wichtige Präsentation oder sehen gerade einen Film. Dann sollen alle Funktionen von lumora pausieren, damit keine Erinnerungen erscheinen. Das geht von Hand oder über Regeln für die automatische Pause in den Einstellungen. Lumora prüft hier nur, ob eine bestimmte Anwendung läuft, zum Beispiel ein Mediaplayer, ein Spiel oder ein Präsentationsprogramm. Alle laufenden Anwendungen zeigt der Task-Manager des Betriebssystems.</translation>
    </message>
    <message>
        <source>Pause lumora (all functionalities, all reminders)</source>
        <translation>lumora pausieren (alle Funktionen, alle Erinnerungen)</translation>
    </message>
    <message>
        <source>When the cloned screen is detected (probably a projector is connected)</source>
        <translation>Wenn ein geklonter Bildschirm erkannt wird (wahrscheinlich ist ein Projektor angeschlossen)</translation>
    </message>
    <message>
        <source>When one of these processes run:</source>
        <translation>Wenn einer dieser Prozesse läuft:</translation>
    </message>
    <message>
        <source>separate by &apos;;&apos;, for example: &quot;filename.exe;&quot;</source>
        <translation>mit &apos;;&apos; trennen, zum Beispiel: &quot;filename.exe;&quot;</translation>
    </message>
    <message>
        <source>Miscellaneous</source>
        <translation>Sonstiges</translation>
    </message>
    <message>
        <source>Enable Beta version updates</source>
        <translation>Aktualisierungen auf Beta-Versionen erlauben</translation>
    </message>
    <message>
        <source>Start on operating system startup</source>
        <translation>Beim Start des Betriebssystems starten</translation>
    </message>
    <message>
        <source>Send blink rate measurements for research</source>
        <translation>Messungen der Blinzelrate für die Forschung senden</translation>
    </message>
    <message>
        <source>Language:</source>
        <translation>Sprache:</translation>
    </message>
    <message>
        <source>Select language</source>
        <translation>Sprache auswählen</translation>
    </message>
    <message>
        <source>Providing healthier and refreshed eyes. Natural dry eye therapy app.</source>
        <translation>Für gesündere und erfrischte Augen. Die App zur natürlichen Behandlung trockener Augen.</translation>
    </message>
    <message>
        <source>Having issues? Please read </source>
        <translation>Probleme? Bitte lesen Sie die </translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;a href=&quot;https://www.harnwick.com/lumora/faq&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;FAQ&lt;/span&gt;&lt;/a&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;a href=&quot;https://www.harnwick.com/lumora/faq&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;FAQ&lt;/span&gt;&lt;/a&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;a href=&quot;https://www.harnwick.com/lumora/terms&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;PRIVACY POLICY&lt;/span&gt;&lt;/a&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;a href=&quot;https://www.harnwick.com/lumora/terms&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;DATENSCHUTZERKLÄRUNG&lt;/span&gt;&lt;/a&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Still, having issues? Please contact</source>
        <translation>Immer noch Probleme? Bitte schreiben Sie an</translation>
    </message>
    <message>
        <source>We will be happy to assist you.</source>
        <translation>Wir helfen Ihnen gern.</translation>
    </message>
    <message>
        <source>Follow lumora on facebook</source>
        <translation>Folgen Sie lumora auf Facebook</translation>
    </message>
    <message>
        <source>Cooperations</source>
        <translation>Kooperationen</translation>
    </message>
    <message>
        <source>Our partner brings eye care to people who spend their days at a screen: it supports research into dry eye and teaches simple habits that keep the eyes moist and rested.</source>
        <translation>Unser Partner bringt Augenpflege zu Menschen, die ihre Tage am Bildschirm verbringen: Er fördert die Forschung zu trockenen Augen und vermittelt einfache Gewohnheiten, die die Augen feucht und ausgeruht halten.</translation>
    </message>
    <message>
        <source>lumora version</source>
        <translation>lumora Version</translation>
    </message>
    <message>
        <source>lumora uses open source:</source>
        <translation>lumora verwendet Open Source:</translation>
    </message>
    <message>
        <source>NOTICES</source>
        <translation>HINWEISE</translation>
    </message>
    <message>
        <source>High screen brightness compared to room light often decreases the blink rate which leads to dry eye. Brightness control is not compatible with similar tools like f.lux.</source>
        <translation>Eine im Vergleich zum Raumlicht hohe Bildschirmhelligkeit senkt oft die Blinzelrate, was zu trockenen Augen führt. Die Helligkeitssteuerung ist nicht mit ähnlichen Programmen wie f.lux verträglich.</translation>
    </message>
    <message>
        <source>ON/OFF</source>
        <translation>EIN/AUS</translation>
    </message>
    <message>
        <source>Screen control</source>
        <translation>Bildschirmsteuerung</translation>
    </message>
    <message>
        <source>Brightness</source>
        <translation>Helligkeit</translation>
    </message>
    <message>
        <source>Software (-8 to 0) and hardware (0 to 10) screen brightness adjustment. 
Some monitors and graphics cards do not provide support for HW brightness
adjustments, in such a case only a SW brightness adjustment is available.</source>
        <translation>Software- (-8 bis 0) und Hardware-Einstellung (0 bis 10) der Bildschirmhelligkeit. 
Manche Monitore und Grafikkarten unterstützen keine HW-Helligkeitseinstellung,
in diesem Fall ist nur die SW-Einstellung verfügbar.</translation>
    </message>
    <message>
        <source>Color temperature</source>
        <translation>Farbtemperatur</translation>
    </message>
    <message>
        <source>Software screen color temperature adjustment</source>
        <translation>Software-Einstellung der Farbtemperatur des Bildschirms</translation>
    </message>
    <message>
        <source>WARMER</source>
        <translation>WÄRMER</translation>
    </message>
    <message>
        <source>WARM</source>
        <translation>WARM</translation>
    </message>
    <message>
        <source>NORMAL</source>
        <translation>NORMAL</translation>
    </message>
    <message>
        <source>A blink reminder will help you to blink more often</source>
        <translation>Eine Blinzelerinnerung hilft Ihnen, öfter zu blinzeln</translation>
    </message>
    <message>
        <source>Blink training</source>
        <translation>Blinzeltraining</translation>
    </message>
    <message>
        <source>Lumora takes about 10 to 20% of CPU when processing images from 
camera. Setting the frequency below 10 seconds increases the average 
cpu load. In such case, set the timer to turn off the screen, when PC inactive, 
(PC Settings -&gt; System -&gt; Power and Sleep ) as low as possible. 
In such a case, lumora will automatically pause its features to save energy.</source>
        <translation>Lumora benötigt beim Verarbeiten der Kamerabilder etwa 10 bis 20 % der CPU. 
Eine Frequenz unter 10 Sekunden erhöht die durchschnittliche 
CPU-Last. Stellen Sie in diesem Fall die Zeit bis zum Abschalten des Bildschirms bei Inaktivität 
(PC-Einstellungen -&gt; System -&gt; Netzbetrieb und Energiesparen) so kurz wie möglich ein. 
Dann pausiert lumora seine Funktionen automatisch, um Energie zu sparen.</translation>
    </message>
    <message>
        <source>Training frequency (how often to check for blinks):</source>
        <translation>Trainingsfrequenz (wie oft auf Blinzeln geprüft wird):</translation>
    </message>
    <message>
        <source> sec.</source>
        <translation> Sek.</translation>
    </message>
    <message>
        <source>Enable sound in the reminder</source>
        <translation>Ton in der Erinnerung aktivieren</translation>
    </message>
    <message>
        <source>CHANGE REMINDER POSITION</source>
        <translation>POSITION DER ERINNERUNG ÄNDERN</translation>
    </message>
    <message>
        <source>The reminder will be shown to use drag and drop.</source>
        <translation>Die Erinnerung wird angezeigt, damit Sie sie mit der Maus verschieben können.</translation>
    </message>
    <message>
        <source>Use the simple reminder (no webcam use) at regular intervals</source>
        <translation>Die einfache Erinnerung (ohne Webcam) in regelmäßigen Abständen verwenden</translation>
    </message>
    <message>
        <source>Use the interactive reminder (shows only at low blink rate)</source>
        <translation>Die interaktive Erinnerung verwenden (erscheint nur bei niedriger Blinzelrate)</translation>
    </message>
    <message>
        <source>It uses the camera and the reminder goes away with your blink.</source>
        <translation>Sie nutzt die Kamera, und die Erinnerung verschwindet, sobald Sie blinzeln.</translation>
    </message>
    <message>
        <source>I have Meibomian gland dysfunction</source>
        <translation>Ich habe eine Meibom-Drüsen-Dysfunktion</translation>
    </message>
    <message>
        <source>Select this option if you have healthy blink rate and still suffer from dry eye. The reminder will be shown at regular intervals and dismissed with your blink.</source>
        <translation>Wählen Sie diese Option, wenn Ihre Blinzelrate gesund ist und Sie trotzdem unter trockenen Augen leiden. Die Erinnerung erscheint in regelmäßigen Abständen und verschwindet, sobald Sie blinzeln.</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;a href=&quot;https://www.harnwick.com/lumora/meibomian-gland-dysfunction&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;learn more&lt;/span&gt;&lt;/a&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;a href=&quot;https://www.harnwick.com/lumora/meibomian-gland-dysfunction&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;mehr erfahren&lt;/span&gt;&lt;/a&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Eye exercises (20 minutes recommended by eye doctors) are important to prevent tired eyes, we need to change our focus distance for a while. If include no mouse or keyboard activity as a break is enabled, these detected breaks are counted also as an eye exercise. For example, eye lids squeezing helps to fight Meibomian gland dysfunction. You can drag and drop the reminder to find a suitable location for it.</source>
        <translation>Augenübungen (alle 20 Minuten, wie Augenärzte empfehlen) sind wichtig gegen müde Augen, wir müssen für eine Weile die Fokusentfernung ändern. Wenn Zeiten ohne Maus- und Tastaturaktivität als Pause zählen, gelten diese erkannten Pausen auch als Augenübung. Zum Beispiel hilft das Zusammenkneifen der Augenlider gegen die Meibom-Drüsen-Dysfunktion. Sie können die Erinnerung mit der Maus an eine passende Stelle ziehen.</translation>
    </message>
    <message>
        <source>Eye exercises each 20 minutes</source>
        <translation>Augenübungen alle 20 Minuten</translation>
    </message>
    <message>
        <source>Regular breaks are important to prevent tired eyes and varicose veins. You can drag and drop the reminder to find a suitable location for it.</source>
        <translation>Regelmäßige Pausen sind wichtig gegen müde Augen und Krampfadern. Sie können die Erinnerung mit der Maus an eine passende Stelle ziehen.</translation>
    </message>
    <message>
        <source>Computer breaks</source>
        <translation>Computerpausen</translation>
    </message>
    <message>
        <source>I stand up from my desk and take a break each</source>
        <translation>Ich stehe vom Schreibtisch auf und mache eine Pause alle</translation>
    </message>
    <message>
        <source>Standing up is important because of varicose veins prevention.</source>
        <translation>Aufstehen ist wichtig, um Krampfadern vorzubeugen.</translation>
    </message>
    <message>
        <source> min.</source>
        <translation> Min.</translation>
    </message>
    <message>
        <source>Include your natural breaks (computer inactivity time) into the break reminder plan.</source>
        <translation>Ihre natürlichen Pausen (Zeiten ohne Computeraktivität) in den Pausenplan einbeziehen.</translation>
    </message>
    <message>
        <source>Consider</source>
        <translation>Zeiten von</translation>
    </message>
    <message>
        <source>of no mouse or keyboard activity as a break</source>
        <translation>ohne Maus- oder Tastaturaktivität als Pause werten</translation>
    </message>
    <message>
        <source>Lumora will additionally measure your blink rate every half an hour. The measurement lasts about 3 minutes and the average blink rate will be displayed on the graph below. This measurement doesn&apos;t interfere with the Blink training.</source>
        <translation>Lumora misst zusätzlich jede halbe Stunde Ihre Blinzelrate. Die Messung dauert etwa 3 Minuten, und die durchschnittliche Blinzelrate wird im Diagramm unten angezeigt. Diese Messung stört das Blinzeltraining nicht.</translation>
    </message>
    <message>
        <source>Blink rate statistics</source>
        <translation>Statistik der Blinzelrate</translation>
    </message>
    <message>
        <source>The average from the measurements below</source>
        <translation>Der Durchschnitt der Messungen unten</translation>
    </message>
    <message>
        <source>Enable notification on completed blink measurement</source>
        <translation>Benachrichtigung nach abgeschlossener Blinzelmessung aktivieren</translation>
    </message>
    <message>
        <source>TAKE FIRST MEASUREMENT</source>
        <translation>ERSTE MESSUNG DURCHFÜHREN</translation>
    </message>
    <message>
        <source>Open lumora</source>
        <translation>lumora öffnen</translation>
    </message>
    <message>
        <source>Pause lumora</source>
        <translation>lumora pausieren</translation>
    </message>
    <message>
        <source>Presentation mode (No reminders, no measurements, no screen brightness changes)</source>
        <translation>Präsentationsmodus (keine Erinnerungen, keine Messungen, keine Änderungen der Bildschirmhelligkeit)</translation>
    </message>
    <message>
        <source>Use lumora</source>
        <translation>lumora verwenden</translation>
    </message>
    <message>
        <source>All settings back to normal</source>
        <translation>Alle Einstellungen wieder normal</translation>
    </message>
    <message>
        <source>Stop camera use</source>
        <translation>Kameranutzung beenden</translation>
    </message>
    <message>
        <source>Pause camera-based features</source>
        <translation>Kamerabasierte Funktionen pausieren</translation>
    </message>
    <message>
        <source>Use camera</source>
        <translation>Kamera verwenden</translation>
    </message>
    <message>
        <source>Enable camera-based features</source>
        <translation>Kamerabasierte Funktionen aktivieren</translation>
    </message>
    <message>
        <source>Exit lumora</source>
        <translation>lumora beenden</translation>
    </message>
</context>
</TS>
