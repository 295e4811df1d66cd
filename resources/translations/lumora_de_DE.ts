<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>LumoraGUI</name>
    <message>
        <location filename="../../gui/lumoragui_appearance.cpp" line="+47"/>
        <source>version</source>
        <translation>Version</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>lumora - settings</source>
        <translation>lumora - Einstellungen</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>SAVE NEW POSITION</source>
        <translation>NEUE POSITION SPEICHERN</translation>
    </message>
    <message>
        <location line="+13"/>
        <source>Measurements</source>
        <translation>Messungen</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Blinks per minute</source>
        <translation>Blinzeln pro Minute</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>healthy</source>
        <translation>gesund</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>lumora - presentation mode</source>
        <translation>lumora - Präsentationsmodus</translation>
    </message>
    <message>
        <location line="+20"/>
        <source>lumora camera use paused</source>
        <translation>lumora - Kameranutzung pausiert</translation>
    </message>
    <message>
        <location line="-11"/>
        <location line="+17"/>
        <source>lumora</source>
        <translation>lumora</translation>
    </message>
    <message>
        <location filename="../../gui/lumoragui_status.cpp" line="+17"/>
        <source>Measurement will start shortly.</source>
        <translation>Die Messung beginnt in Kürze.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>No measurement taken yet. Your blink rate is measured approximately every 30 minutes.</source>
        <translation>Noch keine Messung durchgeführt. Ihre Blinzelrate wird etwa alle 30 Minuten gemessen.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Measurement in progress</source>
        <translation>Messung läuft</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Lumora observes your blinks (blink training is active).</source>
        <translation>Lumora beobachtet Ihr Blinzeln (das Blinzeltraining ist aktiv).</translation>
    </message>
    <message>
        <location line="+10"/>
        <location line="+2"/>
        <location line="+2"/>
        <location line="+6"/>
        <location line="+2"/>
        <location line="+2"/>
        <source>Error:</source>
        <translation>Fehler:</translation>
    </message>
    <message>
        <location line="-14"/>
        <source> insufficient memory RAM or missing data.dat.</source>
        <translation> zu wenig Arbeitsspeicher oder data.dat fehlt.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source> camera is used by other software.</source>
        <translation> die Kamera wird von einem anderen Programm verwendet.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source> low frame per second, cheap camera or bad light conditions.</source>
        <translation> zu wenige Bilder pro Sekunde, einfache Kamera oder schlechte Lichtverhältnisse.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Face not detected, please test blink detection performance (webcam icon).</source>
        <translation>Kein Gesicht erkannt, bitte testen Sie die Blinzelerkennung (Webcam-Symbol).</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>More than one face detected.</source>
        <translation>Mehr als ein Gesicht erkannt.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source> empty frame received, camera unplugged? (or bad cable or broken camera or bad driver).</source>
        <translation> leeres Bild empfangen, ist die Kamera ausgesteckt? (oder schlechtes Kabel, defekte Kamera oder fehlerhafter Treiber).</translation>
    </message>
    <message>
        <location line="+2"/>
        <source> wmic.exe missing from Windows PATH. Windows installation is corrupted.</source>
        <translation> wmic.exe fehlt im Windows-PATH. Die Windows-Installation ist beschädigt.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source> camera is not connected.</source>
        <translation> die Kamera ist nicht angeschlossen.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>no error</source>
        <translation>kein Fehler</translation>
    </message>
</context>
<context>
    <name>Model</name>
    <message>
        <location filename="../../core/model.cpp" line="+123"/>
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
        <location line="+1"/>
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
        <location line="+1"/>
        <source>loading classifiers</source>
        <translation>Klassifikatoren werden geladen</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>missing file: data.dat or low memory</source>
        <translation>Datei fehlt: data.dat oder zu wenig Speicher</translation>
    </message>
    <message>
        <location line="+609"/>
        <source>blink detected</source>
        <translation>Blinzeln erkannt</translation>
    </message>
</context>
<context>
    <name>WidgetProxy</name>
    <message>
        <location filename="../../gui/widgetproxy.cpp" line="+100"/>
        <source>The port must be a number from 0 to 65535.</source>
        <translation>Der Port muss eine Zahl von 0 bis 65535 sein.</translation>
    </message>
    <message>
        <location line="+40"/>
        <source>Server unreachable or network settings has changed. Please provide valid settings or restart lumora.</source>
        <translation>Server nicht erreichbar oder die Netzwerkeinstellungen haben sich geändert. Bitte geben Sie gültige Einstellungen ein oder starten Sie lumora neu.</translation>
    </message>
</context>
<context>
    <name>WidgetStatistics</name>
    <message>
        <location filename="../../gui/widgetstatistics.cpp" line="+105"/>
        <source>Blinks per minute (bpm)</source>
        <translation>Lidschläge pro Minute (LpM)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>healthy</source>
        <translation>gesund</translation>
    </message>
    <message>
        <location line="+144"/>
        <source>Blink rate:</source>
        <translation>Lidschlagrate:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>blinks per minute</source>
        <translation>Lidschläge pro Minute</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Average blink duration:</source>
        <translation>Durchschnittliche Lidschlagdauer:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>milliseconds</source>
        <translation>Millisekunden</translation>
    </message>
    <message>
        <location line="+13"/>
        <source>Are you sure to delete all measurements?</source>
        <translation>Möchten Sie wirklich alle Messungen löschen?</translation>
    </message>
</context>
<context>
    <name>widgetProxy</name>
    <message>
        <location filename="../../gui/forms/widgetproxy.ui" line="+70"/>
        <source>Proxy settings</source>
        <translation>Proxy-Einstellungen</translation>
    </message>
    <message>
        <location line="+13"/>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <location line="+41"/>
        <source>use these settings</source>
        <translation>diese Einstellungen verwenden</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>Veryfing connection, please wait...</source>
        <translation>Verbindung wird geprüft, bitte warten...</translation>
    </message>
    <message>
        <location line="+17"/>
        <source>port:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>username:</source>
        <translation>Benutzername:</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>password:</source>
        <translation>Passwort:</translation>
    </message>
    <message>
        <location line="+23"/>
        <source>SAVE</source>
        <translation>SPEICHERN</translation>
    </message>
    <message>
        <location line="+16"/>
        <source>CANCEL</source>
        <translation>ABBRECHEN</translation>
    </message>
</context>
<context>
    <name>widgetStatistics</name>
    <message>
        <location filename="../../gui/forms/widgetstatistics.ui" line="+88"/>
        <source>Statistics</source>
        <translation>Statistik</translation>
    </message>
    <message>
        <location line="+26"/>
        <source>Maximize</source>
        <translation>Maximieren</translation>
    </message>
    <message>
        <location line="+16"/>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <location line="+65"/>
        <source>Start Date</source>
        <translation>Startdatum</translation>
    </message>
    <message>
        <location line="+20"/>
        <source>End date</source>
        <translation>Enddatum</translation>
    </message>
    <message>
        <location line="+13"/>
        <source>DELETE HISTORY</source>
        <translation>VERLAUF LÖSCHEN</translation>
    </message>
</context>
<context>
    <name>widget_lumora</name>
    <message>
        <location filename="../../gui/forms/lumoragui.ui" line="+100"/>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>Back</source>
        <translation>Zurück</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>Test my camera</source>
        <translation>Meine Kamera testen</translation>
    </message>
    <message>
        <location line="+37"/>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>Minimize to tray icon</source>
        <translation>In das Infobereich-Symbol minimieren</translation>
    </message>
    <message>
        <location line="+40"/>
        <source>Camera</source>
        <translation>Kamera</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Select camera</source>
        <translation>Kamera auswählen</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>SETTINGS</source>
        <translation>EINSTELLUNGEN</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>This is a real-time blink detection test only, no measurement will be taken.</source>
        <translation>Dies ist nur ein Test der Blinzelerkennung in Echtzeit, es wird keine Messung durchgeführt.</translation>
    </message>
    <message>
        <location line="+49"/>
        <source>Did you allow camera use?</source>
        <translation>Haben Sie die Kameranutzung erlaubt?</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>PRIVACY SETTINGS</source>
        <translation>DATENSCHUTZEINSTELLUNGEN</translation>
    </message>
    <message>
        <location line="+22"/>
        <source>The camera speed is important. Lumora works from 20 frames per second (fps). Older or cheaper cameras can suffer from decreased capture speed during low light conditions due to increase of exposure time to balance the image brightness. On the contrary, too much light in camera view (e.g. window) reduces the exposure time and face could be too dark to detect blinks.</source>
        <translation>Die Geschwindigkeit der Kamera ist wichtig. Lumora arbeitet ab 20 Bildern pro Sekunde (fps). Ältere oder günstigere Kameras nehmen bei wenig Licht oft langsamer auf, weil sie die Belichtungszeit verlängern, um die Bildhelligkeit auszugleichen. Umgekehrt verkürzt zu viel Licht im Kamerabild (z. B. ein Fenster) die Belichtungszeit, und das Gesicht kann zu dunkel sein, um Blinzeln zu erkennen.</translation>
    </message>
    <message>
        <location line="+33"/>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;justify&quot;&gt;No internet connection detected on startup. Restart lumora to try again. Do you use &lt;a href=&quot;https://www.whatismyproxy.com/&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;proxy&lt;/span&gt;&lt;/a&gt;? If you are at work probably your employer blocks some network communication. You can connect your computer by your phone to the Internet or use public wifi hotspot.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;justify&quot;&gt;Beim Start wurde keine Internetverbindung gefunden. Starten Sie lumora neu, um es erneut zu versuchen. Verwenden Sie einen &lt;a href=&quot;https://www.whatismyproxy.com/&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;Proxy&lt;/span&gt;&lt;/a&gt;? Wenn Sie bei der Arbeit sind, blockiert Ihr Arbeitgeber wahrscheinlich einen Teil der Netzwerkkommunikation. Sie können Ihren Computer über Ihr Telefon mit dem Internet verbinden oder einen öffentlichen WLAN-Hotspot nutzen.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <location line="+15"/>
        <source>PROXY SETTINGS</source>
        <translation>PROXY-EINSTELLUNGEN</translation>
    </message>
    <message>
        <location line="+24"/>
        <source>Hotkeys</source>
        <translation>Tastenkürzel</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>enable</source>
        <translation>aktivieren</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Increase screen brightness:</source>
        <translation>Bildschirmhelligkeit erhöhen:</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Decrease screen brightness:</source>
        <translation>Bildschirmhelligkeit verringern:</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Change color temperature:</source>
        <translation>Farbtemperatur ändern:</translation>
    </message>
    <message>
        <location line="+12"/>
        <source>Sometimes, when we need camera for other things like Skype or Call, the camera based features can be paused, while preserving the other features. The rules for automatic pause can be defined based on the Windows titles. For example, Skype runs in background and only when is running foreground there is a predisposition that it will need camera sooner or later.</source>
        <translation>Wenn wir die Kamera für anderes brauchen, etwa für Skype oder einen Anruf, können die kamerabasierten Funktionen pausiert werden, während die übrigen Funktionen weiterlaufen. Die Regeln für die automatische Pause lassen sich anhand der Fenstertitel festlegen. Skype läuft zum Beispiel im Hintergrund, und erst wenn es im Vordergrund läuft, wird es früher oder später wahrscheinlich die Kamera brauchen.</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Automatic pause camera based features</source>
        <translation>Kamerabasierte Funktionen automatisch pausieren</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>When running on battery</source>
        <translation>Im Akkubetrieb</translation>
    </message>
    <message>
        <location line="+6"/>
        <location line="+67"/>
        <source>When a keyword is present as part of window title of an app:</source>
        <translation>Wenn ein Stichwort im Fenstertitel einer Anwendung vorkommt:</translation>
    </message>
    <message>
        <location line="-65"/>
        <source>When a keyword is present as part of window title of foreground running app:</source>
        <translation>Wenn ein Stichwort im Fenstertitel der Anwendung im Vordergrund vorkommt:</translation>
    </message>
    <message>
        <location line="+6"/>
        <location line="+2"/>
        <location line="+64"/>
        <location line="+2"/>
        <source>separate by &apos;;&apos;, for example: &quot;Skype;Call;Zoom&quot;</source>
        <translation>mit &apos;;&apos; trennen, zum Beispiel: &quot;Skype;Call;Zoom&quot;</translation>
    </message>
    <message>
        <location line="-57"/>
        <source>Sometimes, there is a big presentation on our laptop, or we are just watching a movie, in such cases it is desired to pause all lumora features so no reminders will come out. We can do it manually or define the automatic pause based on rules in settings. Here lumora looks only if given application is running or not. For example a media player, game or presentation tool. We can see all our running apps in Task Manager of the operating system.</source>
        <translation>Manchmal halten wir auf dem Laptop eine wichtige Präsentation oder sehen gerade einen Film. Dann sollen alle Funktionen von lumora pausieren, damit keine Erinnerungen erscheinen. Das geht von Hand oder über Regeln für die automatische Pause in den Einstellungen. Lumora prüft hier nur, ob eine bestimmte Anwendung läuft, zum Beispiel ein Mediaplayer, ein Spiel oder ein Präsentationsprogramm. Alle laufenden Anwendungen zeigt der Task-Manager des Betriebssystems.</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Pause lumora (all functionalities, all reminders)</source>
        <translation>lumora pausieren (alle Funktionen, alle Erinnerungen)</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>When the cloned screen is detected (probably a projector is connected)</source>
        <translation>Wenn ein geklonter Bildschirm erkannt wird (wahrscheinlich ist ein Projektor angeschlossen)</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>When one of these processes run:</source>
        <translation>Wenn einer dieser Prozesse läuft:</translation>
    </message>
    <message>
        <location line="+7"/>
        <location line="+2"/>
        <source>separate by &apos;;&apos;, for example: &quot;filename.exe;&quot;</source>
        <translation>mit &apos;;&apos; trennen, zum Beispiel: &quot;filename.exe;&quot;</translation>
    </message>
    <message>
        <location line="+35"/>
        <source>Miscellaneous</source>
        <translation>Sonstiges</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Enable Beta version updates</source>
        <translation>Aktualisierungen auf Beta-Versionen erlauben</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Start on operating system startup</source>
        <translation>Beim Start des Betriebssystems starten</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Send blink rate measurements for research</source>
        <translation>Messungen der Blinzelrate für die Forschung senden</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>Language:</source>
        <translation>Sprache:</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Select language</source>
        <translation>Sprache auswählen</translation>
    </message>
    <message>
        <location line="+69"/>
        <source>Providing healthier and refreshed eyes. Natural dry eye therapy app.</source>
        <translation>Für gesündere und erfrischte Augen. Die App zur natürlichen Behandlung trockener Augen.</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>Having issues? Please read </source>
        <translation>Probleme? Bitte lesen Sie die </translation>
    </message>
    <message>
        <location line="+5"/>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;a href=&quot;https://www.harnwick.com/lumora/faq&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;FAQ&lt;/span&gt;&lt;/a&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;a href=&quot;https://www.harnwick.com/lumora/faq&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;FAQ&lt;/span&gt;&lt;/a&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;a href=&quot;https://www.harnwick.com/lumora/terms&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;PRIVACY POLICY&lt;/span&gt;&lt;/a&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;a href=&quot;https://www.harnwick.com/lumora/terms&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;DATENSCHUTZERKLÄRUNG&lt;/span&gt;&lt;/a&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <location line="+19"/>
        <source>Still, having issues? Please contact</source>
        <translation>Immer noch Probleme? Bitte schreiben Sie an</translation>
    </message>
    <message>
        <location line="+13"/>
        <source>We will be happy to assist you.</source>
        <translation>Wir helfen Ihnen gern.</translation>
    </message>
    <message>
        <location line="+24"/>
        <source>Follow lumora on facebook</source>
        <translation>Folgen Sie lumora auf Facebook</translation>
    </message>
    <message>
        <location line="+33"/>
        <source>Cooperations</source>
        <translation>Kooperationen</translation>
    </message>
    <message>
        <location line="+29"/>
        <source>Our partner brings eye care to people who spend their days at a screen: it supports research into dry eye and teaches simple habits that keep the eyes moist and rested.</source>
        <translation>Unser Partner bringt Augenpflege zu Menschen, die ihre Tage am Bildschirm verbringen: Er fördert die Forschung zu trockenen Augen und vermittelt einfache Gewohnheiten, die die Augen feucht und ausgeruht halten.</translation>
    </message>
    <message>
        <location line="+19"/>
        <source>lumora version</source>
        <translation>lumora Version</translation>
    </message>
    <message>
        <location line="+15"/>
        <source>lumora uses open source:</source>
        <translation>lumora verwendet Open Source:</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>NOTICES</source>
        <translation>HINWEISE</translation>
    </message>
    <message>
        <location line="+70"/>
        <source>High screen brightness compared to room light often decreases the blink rate which leads to dry eye. Brightness control is not compatible with similar tools like f.lux.</source>
        <translation>Eine im Vergleich zum Raumlicht hohe Bildschirmhelligkeit senkt oft die Blinzelrate, was zu trockenen Augen führt. Die Helligkeitssteuerung ist nicht mit ähnlichen Programmen wie f.lux verträglich.</translation>
    </message>
    <message>
        <location line="+18"/>
        <location line="+127"/>
        <location line="+168"/>
        <location line="+44"/>
        <location line="+115"/>
        <source>ON/OFF</source>
        <translation>EIN/AUS</translation>
    </message>
    <message>
        <location line="-443"/>
        <source>Screen control</source>
        <translation>Bildschirmsteuerung</translation>
    </message>
    <message>
        <location line="+25"/>
        <source>Brightness</source>
        <translation>Helligkeit</translation>
    </message>
    <message>
        <location line="+12"/>
        <source>Software (-8 to 0) and hardware (0 to 10) screen brightness adjustment. 
Some monitors and graphics cards do not provide support for HW brightness
adjustments, in such a case only a SW brightness adjustment is available.</source>
        <translation>Software- (-8 bis 0) und Hardware-Einstellung (0 bis 10) der Bildschirmhelligkeit. 
Manche Monitore und Grafikkarten unterstützen keine HW-Helligkeitseinstellung,
in diesem Fall ist nur die SW-Einstellung verfügbar.</translation>
    </message>
    <message>
        <location line="+12"/>
        <source>Color temperature</source>
        <translation>Farbtemperatur</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Software screen color temperature adjustment</source>
        <translation>Software-Einstellung der Farbtemperatur des Bildschirms</translation>
    </message>
    <message>
        <location line="+15"/>
        <source>WARMER</source>
        <translation>WÄRMER</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>WARM</source>
        <translation>WARM</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>NORMAL</source>
        <translation>NORMAL</translation>
    </message>
    <message>
        <location line="+17"/>
        <source>A blink reminder will help you to blink more often</source>
        <translation>Eine Blinzelerinnerung hilft Ihnen, öfter zu blinzeln</translation>
    </message>
    <message>
        <location line="+29"/>
        <source>Blink training</source>
        <translation>Blinzeltraining</translation>
    </message>
    <message>
        <location line="+23"/>
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
        <location line="+13"/>
        <source>Training frequency (how often to check for blinks):</source>
        <translation>Trainingsfrequenz (wie oft auf Blinzeln geprüft wird):</translation>
    </message>
    <message>
        <location line="+5"/>
        <source> sec.</source>
        <translation> Sek.</translation>
    </message>
    <message>
        <location line="+26"/>
        <source>Enable sound in the reminder</source>
        <translation>Ton in der Erinnerung aktivieren</translation>
    </message>
    <message>
        <location line="+13"/>
        <source>CHANGE REMINDER POSITION</source>
        <translation>POSITION DER ERINNERUNG ÄNDERN</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>The reminder will be shown to use drag and drop.</source>
        <translation>Die Erinnerung wird angezeigt, damit Sie sie mit der Maus verschieben können.</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>Use the simple reminder (no webcam use) at regular intervals</source>
        <translation>Die einfache Erinnerung (ohne Webcam) in regelmäßigen Abständen verwenden</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Use the interactive reminder (shows only at low blink rate)</source>
        <translation>Die interaktive Erinnerung verwenden (erscheint nur bei niedriger Blinzelrate)</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>It uses the camera and the reminder goes away with your blink.</source>
        <translation>Sie nutzt die Kamera, und die Erinnerung verschwindet, sobald Sie blinzeln.</translation>
    </message>
    <message>
        <location line="+15"/>
        <source>I have Meibomian gland dysfunction</source>
        <translation>Ich habe eine Meibom-Drüsen-Dysfunktion</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Select this option if you have healthy blink rate and still suffer from dry eye. The reminder will be shown at regular intervals and dismissed with your blink.</source>
        <translation>Wählen Sie diese Option, wenn Ihre Blinzelrate gesund ist und Sie trotzdem unter trockenen Augen leiden. Die Erinnerung erscheint in regelmäßigen Abständen und verschwindet, sobald Sie blinzeln.</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;a href=&quot;https://www.harnwick.com/lumora/meibomian-gland-dysfunction&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;learn more&lt;/span&gt;&lt;/a&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;a href=&quot;https://www.harnwick.com/lumora/meibomian-gland-dysfunction&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;mehr erfahren&lt;/span&gt;&lt;/a&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <location line="+24"/>
        <source>Eye exercises (20 minutes recommended by eye doctors) are important to prevent tired eyes, we need to change our focus distance for a while. If include no mouse or keyboard activity as a break is enabled, these detected breaks are counted also as an eye exercise. For example, eye lids squeezing helps to fight Meibomian gland dysfunction. You can drag and drop the reminder to find a suitable location for it.</source>
        <translation>Augenübungen (alle 20 Minuten, wie Augenärzte empfehlen) sind wichtig gegen müde Augen, wir müssen für eine Weile die Fokusentfernung ändern. Wenn Zeiten ohne Maus- und Tastaturaktivität als Pause zählen, gelten diese erkannten Pausen auch als Augenübung. Zum Beispiel hilft das Zusammenkneifen der Augenlider gegen die Meibom-Drüsen-Dysfunktion. Sie können die Erinnerung mit der Maus an eine passende Stelle ziehen.</translation>
    </message>
    <message>
        <location line="+21"/>
        <source>Eye exercises each 20 minutes</source>
        <translation>Augenübungen alle 20 Minuten</translation>
    </message>
    <message>
        <location line="+15"/>
        <source>Regular breaks are important to prevent tired eyes and varicose veins. You can drag and drop the reminder to find a suitable location for it.</source>
        <translation>Regelmäßige Pausen sind wichtig gegen müde Augen und Krampfadern. Sie können die Erinnerung mit der Maus an eine passende Stelle ziehen.</translation>
    </message>
    <message>
        <location line="+29"/>
        <source>Computer breaks</source>
        <translation>Computerpausen</translation>
    </message>
    <message>
        <location line="+18"/>
        <source>I stand up from my desk and take a break each</source>
        <translation>Ich stehe vom Schreibtisch auf und mache eine Pause alle</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Standing up is important because of varicose veins prevention.</source>
        <translation>Aufstehen ist wichtig, um Krampfadern vorzubeugen.</translation>
    </message>
    <message>
        <location line="+5"/>
        <location line="+34"/>
        <source> min.</source>
        <translation> Min.</translation>
    </message>
    <message>
        <location line="-16"/>
        <source>Include your natural breaks (computer inactivity time) into the break reminder plan.</source>
        <translation>Ihre natürlichen Pausen (Zeiten ohne Computeraktivität) in den Pausenplan einbeziehen.</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Consider</source>
        <translation>Zeiten von</translation>
    </message>
    <message>
        <location line="+17"/>
        <source>of no mouse or keyboard activity as a break</source>
        <translation>ohne Maus- oder Tastaturaktivität als Pause werten</translation>
    </message>
    <message>
        <location line="+26"/>
        <source>Lumora will additionally measure your blink rate every half an hour. The measurement lasts about 3 minutes and the average blink rate will be displayed on the graph below. This measurement doesn&apos;t interfere with the Blink training.</source>
        <translation>Lumora misst zusätzlich jede halbe Stunde Ihre Blinzelrate. Die Messung dauert etwa 3 Minuten, und die durchschnittliche Blinzelrate wird im Diagramm unten angezeigt. Diese Messung stört das Blinzeltraining nicht.</translation>
    </message>
    <message>
        <location line="+21"/>
        <source>Blink rate statistics</source>
        <translation>Statistik der Blinzelrate</translation>
    </message>
    <message>
        <location line="+15"/>
        <source>The average from the measurements below</source>
        <translation>Der Durchschnitt der Messungen unten</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Enable notification on completed blink measurement</source>
        <translation>Benachrichtigung nach abgeschlossener Blinzelmessung aktivieren</translation>
    </message>
    <message>
        <location line="+36"/>
        <source>TAKE FIRST MEASUREMENT</source>
        <translation>ERSTE MESSUNG DURCHFÜHREN</translation>
    </message>
    <message>
        <location line="+34"/>
        <source>Open lumora</source>
        <translation>lumora öffnen</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Pause lumora</source>
        <translation>lumora pausieren</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Presentation mode (No reminders, no measurements, no screen brightness changes)</source>
        <translation>Präsentationsmodus (keine Erinnerungen, keine Messungen, keine Änderungen der Bildschirmhelligkeit)</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Use lumora</source>
        <translation>lumora verwenden</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>All settings back to normal</source>
        <translation>Alle Einstellungen wieder normal</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Stop camera use</source>
        <translation>Kameranutzung beenden</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Pause camera-based features</source>
        <translation>Kamerabasierte Funktionen pausieren</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Use camera</source>
        <translation>Kamera verwenden</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Enable camera-based features</source>
        <translation>Kamerabasierte Funktionen aktivieren</translation>
    </message>
    <message>
        <location line="+5"/>
        <location line="+1"/>
        <source>Exit lumora</source>
        <translation>lumora beenden</translation>
    </message>
</context>
</TS>
