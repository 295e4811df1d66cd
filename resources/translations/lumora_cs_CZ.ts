<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="cs_CZ">
<context>
    <name>BlinkReminderWidget</name>
    <message>
        <source>just blink ;)</source>
        <translation>prostě mrkni ;)</translation>
    </message>
</context>
<context>
    <name>BreakReminderWidget</name>
    <message>
        <source>Use drag and drop to change the reminder position.</source>
        <translation>Polohu připomínky změníte přetažením myší.</translation>
    </message>
    <message>
        <source>lumora: it is time for your break</source>
        <translation>lumora: je čas na přestávku</translation>
    </message>
    <message>
        <source>The reminder disappears after you take a 4 minutes break.</source>
        <translation>Připomínka zmizí, až si dáte 4minutovou přestávku.</translation>
    </message>
    <message>
        <source>My work is more important than my veins and eyes.</source>
        <translation>Moje práce je důležitější než moje žíly a oči.</translation>
    </message>
    <message>
        <source>SKIP</source>
        <translation>PŘESKOČIT</translation>
    </message>
    <message>
        <source>Give me five more minutes</source>
        <translation>Dejte mi ještě pět minut</translation>
    </message>
    <message>
        <source>SNOOZE (5 min.)</source>
        <translation>ODLOŽIT (5 min.)</translation>
    </message>
</context>
<context>
    <name>Downloader</name>
    <message>
        <source>Updater</source>
        <translation>Aktualizace</translation>
    </message>
    <message>
        <source>Downloading updates</source>
        <translation>Stahují se aktualizace</translation>
    </message>
    <message>
        <source>Time remaining: 0 minutes</source>
        <translation>Zbývající čas: 0 minut</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Otevřít</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Zastavit</translation>
    </message>
    <message>
        <source>The update cannot be downloaded.</source>
        <translation>Aktualizaci nelze stáhnout.</translation>
    </message>
    <message>
        <source>Time remaining</source>
        <translation>Zbývající čas</translation>
    </message>
    <message>
        <source>unknown</source>
        <translation>neznámý</translation>
    </message>
    <message>
        <source>Downloading Updates</source>
        <translation>Stahují se aktualizace</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>Neznámý</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 bajtů</translation>
    </message>
    <message>
        <source>of</source>
        <translation>z</translation>
    </message>
    <message>
        <source>about %1 hours</source>
        <translation>přibližně %1 hodin</translation>
    </message>
    <message>
        <source>1 minute</source>
        <translation>1 minuta</translation>
    </message>
    <message>
        <source>%1 minutes</source>
        <translation>%1 minut</translation>
    </message>
    <message>
        <source>1 second</source>
        <translation>1 sekunda</translation>
    </message>
    <message>
        <source>%1 seconds</source>
        <translation>%1 sekund</translation>
    </message>
    <message>
        <source>Press OK to download again.</source>
        <translation>Stiskněte OK a stáhněte ji znovu.</translation>
    </message>
    <message>
        <source>Error, the downloaded update is corrupted!</source>
        <translation>Chyba, stažená aktualizace je poškozená!</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Zavřít</translation>
    </message>
    <message>
        <source>Download complete!</source>
        <translation>Stahování je dokončeno!</translation>
    </message>
    <message>
        <source>The installer will open separately</source>
        <translation>Instalátor se otevře samostatně</translation>
    </message>
    <message>
        <source>Installing the update will terminate the application.</source>
        <translation>Instalace aktualizace ukončí aplikaci.</translation>
    </message>
    <message>
        <source>Click &quot;OK&quot; to begin installing the update</source>
        <translation>Klikněte na „OK“ a spusťte instalaci aktualizace</translation>
    </message>
    <message>
        <source>Click the &quot;Open&quot; button to apply the update</source>
        <translation>Klikněte na tlačítko „Otevřít“ a použijte aktualizaci</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Chyba</translation>
    </message>
    <message>
        <source>The downloaded update is missing!</source>
        <translation>Stažená aktualizace chybí!</translation>
    </message>
    <message>
        <source>The downloaded update could not be opened.</source>
        <translation>Staženou aktualizaci se nepodařilo otevřít.</translation>
    </message>
    <message>
        <source>Are you sure you want to cancel the download?</source>
        <translation>Opravdu chcete zrušit stahování?</translation>
    </message>
</context>
<context>
    <name>ExerciseReminderWidget</name>
    <message>
        <source>Use drag and drop to change the reminder position.</source>
        <translation>Polohu připomínky změníte přetažením myší.</translation>
    </message>
    <message>
        <source>lumora eye exercise</source>
        <translation>lumora cvičení pro oči</translation>
    </message>
    <message>
        <source>My work is more important than my eyes.</source>
        <translation>Moje práce je důležitější než moje oči.</translation>
    </message>
    <message>
        <source>SKIP</source>
        <translation>PŘESKOČIT</translation>
    </message>
    <message>
        <source>Look out of the window (or towards any other long distance) for 10 sec.</source>
        <translation>Dívejte se 10 s z okna (nebo do jakékoli jiné velké dálky).</translation>
    </message>
    <message>
        <source>Blink while squeezing your lids for 10 sec.</source>
        <translation>Mrkejte 10 s a přitom pevně tiskněte víčka.</translation>
    </message>
    <message>
        <source>Move your eyes from side to side for 10 sec.</source>
        <translation>Pohybujte očima 10 s ze strany na stranu.</translation>
    </message>
    <message>
        <source>Rotate your eyes for 10 sec.</source>
        <translation>Kružte očima 10 s.</translation>
    </message>
</context>
<context>
    <name>LumoraGUI</name>
    <message>
        <source>version</source>
        <translation>verze</translation>
    </message>
    <message>
        <source>lumora - settings</source>
        <translation>lumora - nastavení</translation>
    </message>
    <message>
        <source>SAVE NEW POSITION</source>
        <translation>ULOŽIT NOVOU POLOHU</translation>
    </message>
    <message>
        <source>Measurements</source>
        <translation>Měření</translation>
    </message>
    <message>
        <source>Blinks per minute</source>
        <translation>Mrknutí za minutu</translation>
    </message>
    <message>
        <source>healthy</source>
        <translation>zdravé</translation>
    </message>
    <message>
        <source>lumora - presentation mode</source>
        <translation>lumora - režim prezentace</translation>
    </message>
    <message>
        <source>lumora camera use paused</source>
        <translation>lumora - používání kamery pozastaveno</translation>
    </message>
    <message>
        <source>lumora</source>
        <translation>lumora</translation>
    </message>
    <message>
        <source>Measurement will start shortly.</source>
        <translation>Měření brzy začne.</translation>
    </message>
    <message>
        <source>No measurement taken yet. Your blink rate is measured approximately every 30 minutes.</source>
        <translation>Zatím nebylo provedeno žádné měření. Frekvence mrkání se měří přibližně každých 30 minut.</translation>
    </message>
    <message>
        <source>Measurement in progress</source>
        <translation>Probíhá měření</translation>
    </message>
    <message>
        <source>Lumora observes your blinks (blink training is active).</source>
        <translation>Lumora sleduje vaše mrknutí (trénink mrkání je zapnutý).</translation>
    </message>
    <message>
        <source>Error:</source>
        <translation>Chyba:</translation>
    </message>
    <message>
        <source> insufficient memory RAM or missing data.dat.</source>
        <translation> nedostatek paměti RAM nebo chybí data.dat.</translation>
    </message>
    <message>
        <source> camera is used by other software.</source>
        <translation> kameru používá jiný program.</translation>
    </message>
    <message>
        <source> low frame per second, cheap camera or bad light conditions.</source>
        <translation> nízký počet snímků za sekundu, levná kamera nebo špatné světelné podmínky.</translation>
    </message>
    <message>
        <source>Face not detected, please test blink detection performance (webcam icon).</source>
        <translation>Obličej nebyl rozpoznán, otestujte prosím detekci mrkání (ikona kamery).</translation>
    </message>
    <message>
        <source>More than one face detected.</source>
        <translation>Rozpoznán více než jeden obličej.</translation>
    </message>
    <message>
        <source> empty frame received, camera unplugged? (or bad cable or broken camera or bad driver).</source>
        <translation> přijat prázdný snímek, je kamera odpojená? (nebo špatný kabel, rozbitá kamera či špatný ovladač).</translation>
    </message>
    <message>
        <source> wmic.exe missing from Windows PATH. Windows installation is corrupted.</source>
        <translation> wmic.exe chybí v cestě Windows PATH. Instalace Windows je poškozená.</translation>
    </message>
    <message>
        <source> camera is not connected.</source>
        <translation> kamera není připojená.</translation>
    </message>
    <message>
        <source>no error</source>
        <translation>žádná chyba</translation>
    </message>
    <message>
        <source>lumora - about</source>
        <translation>lumora - o aplikaci</translation>
    </message>
    <message>
        <source>Test blink detection</source>
        <translation>Test detekce mrkání</translation>
    </message>
    <message>
        <source>is running in background. You can quit Lumora by opening the right-click menu at this tray icon.</source>
        <comment>trayicon</comment>
        <translation>běží na pozadí. Lumoru ukončíte z nabídky, kterou otevřete pravým kliknutím na tuto ikonu v oznamovací oblasti.</translation>
    </message>
    <message>
        <source>CHANGE REMINDER POSITION</source>
        <translation>ZMĚNIT POLOHU PŘIPOMÍNKY</translation>
    </message>
    <message>
        <source>Open history</source>
        <translation>Otevřít historii</translation>
    </message>
    <message>
        <source>Blink rate:</source>
        <translation>Frekvence mrkání:</translation>
    </message>
    <message>
        <source>blinks per minute</source>
        <translation>mrknutí za minutu</translation>
    </message>
    <message>
        <source>Average blink duration:</source>
        <translation>Průměrná délka mrknutí:</translation>
    </message>
    <message>
        <source>milliseconds</source>
        <translation>milisekund</translation>
    </message>
    <message>
        <source>Blink measurement completed</source>
        <translation>Měření mrkání dokončeno</translation>
    </message>
    <message>
        <source>Blink rate: </source>
        <translation>Frekvence mrkání: </translation>
    </message>
    <message>
        <source> blinks per minute</source>
        <translation> mrknutí za minutu</translation>
    </message>
</context>
<context>
    <name>Model</name>
    <message>
        <source>empty frame received
camera disconnected
or broken or bad cable
or bad driver</source>
        <translation>přijat prázdný snímek
kamera je odpojená
nebo rozbitá, vadný kabel
nebo vadný ovladač</translation>
    </message>
    <message>
        <source>empty frame received
camera disconnected
or broken or bad cable
or bad driver
or blocked by Windows privacy settings</source>
        <translation type="vanished">přijat prázdný snímek
kamera je odpojená
nebo rozbitá, vadný kabel
nebo vadný ovladač
nebo ji blokuje nastavení soukromí Windows</translation>
    </message>
    <message>
        <source>camera is occupied or not connected</source>
        <translation>kamera je obsazená nebo není připojená</translation>
    </message>
    <message>
        <source>camera is occupied or not connected
or blocked by Windows privacy settings</source>
        <translation type="vanished">kamera je obsazená nebo není připojená
nebo ji blokuje nastavení soukromí Windows</translation>
    </message>
    <message>
        <source>loading classifiers</source>
        <translation>načítají se klasifikátory</translation>
    </message>
    <message>
        <source>missing file: data.dat or low memory</source>
        <translation>chybí soubor: data.dat nebo je málo paměti</translation>
    </message>
    <message>
        <source>blink detected</source>
        <translation>mrknutí zachyceno</translation>
    </message>
</context>
<context>
    <name>Updater</name>
    <message>
        <source>Version %1 of %2 has been released!</source>
        <translation>Byla vydána verze %1 programu %2!</translation>
    </message>
    <message>
        <source>Would you like to download the update now (size %1MB)?</source>
        <translation>Chcete stáhnout aktualizaci nyní (velikost %1MB)?</translation>
    </message>
</context>
<context>
    <name>WidgetProxy</name>
    <message>
        <source>The port must be a number from 0 to 65535.</source>
        <translation>Port musí být číslo od 0 do 65535.</translation>
    </message>
    <message>
        <source>Server unreachable or network settings has changed. Please provide valid settings or restart lumora.</source>
        <translation>Server je nedostupný nebo se změnilo nastavení sítě. Zadejte platné nastavení nebo restartujte lumora.</translation>
    </message>
</context>
<context>
    <name>WidgetStatistics</name>
    <message>
        <source>Blinks per minute (bpm)</source>
        <translation>Mrknutí za minutu (m/min)</translation>
    </message>
    <message>
        <source>healthy</source>
        <translation>zdravé</translation>
    </message>
    <message>
        <source>Blink rate:</source>
        <translation>Frekvence mrkání:</translation>
    </message>
    <message>
        <source>blinks per minute</source>
        <translation>mrknutí za minutu</translation>
    </message>
    <message>
        <source>Average blink duration:</source>
        <translation>Průměrná délka mrknutí:</translation>
    </message>
    <message>
        <source>milliseconds</source>
        <translation>milisekund</translation>
    </message>
    <message>
        <source>Are you sure to delete all measurements?</source>
        <translation>Opravdu chcete smazat všechna měření?</translation>
    </message>
</context>
<context>
    <name>widgetProxy</name>
    <message>
        <source>Proxy settings</source>
        <translation>Nastavení proxy</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Zavřít</translation>
    </message>
    <message>
        <source>use these settings</source>
        <translation>použít toto nastavení</translation>
    </message>
    <message>
        <source>Veryfing connection, please wait...</source>
        <translation>Ověřuji připojení, čekejte prosím...</translation>
    </message>
    <message>
        <source>port:</source>
        <translation>port:</translation>
    </message>
    <message>
        <source>username:</source>
        <translation>uživatelské jméno:</translation>
    </message>
    <message>
        <source>password:</source>
        <translation>heslo:</translation>
    </message>
    <message>
        <source>SAVE</source>
        <translation>ULOŽIT</translation>
    </message>
    <message>
        <source>CANCEL</source>
        <translation>ZRUŠIT</translation>
    </message>
</context>
<context>
    <name>widgetStatistics</name>
    <message>
        <source>Statistics</source>
        <translation>Statistiky</translation>
    </message>
    <message>
        <source>Maximize</source>
        <translation>Maximalizovat</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Zavřít</translation>
    </message>
    <message>
        <source>Start Date</source>
        <translation>Datum začátku</translation>
    </message>
    <message>
        <source>End date</source>
        <translation>Datum konce</translation>
    </message>
    <message>
        <source>DELETE HISTORY</source>
        <translation>SMAZAT HISTORII</translation>
    </message>
</context>
<context>
    <name>widget_lumora</name>
    <message>
        <source>Settings</source>
        <translation>Nastavení</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Zpět</translation>
    </message>
    <message>
        <source>Test my camera</source>
        <translation>Otestovat moji kameru</translation>
    </message>
    <message>
        <source>About</source>
        <translation>O aplikaci</translation>
    </message>
    <message>
        <source>Minimize to tray icon</source>
        <translation>Minimalizovat do ikony v liště</translation>
    </message>
    <message>
        <source>Camera</source>
        <translation>Kamera</translation>
    </message>
    <message>
        <source>Select camera</source>
        <translation>Vyberte kameru</translation>
    </message>
    <message>
        <source>SETTINGS</source>
        <translation>NASTAVENÍ</translation>
    </message>
    <message>
        <source>This is a real-time blink detection test only, no measurement will be taken.</source>
        <translation>Toto je pouze test detekce mrkání v reálném čase, žádné měření se neprovede.</translation>
    </message>
    <message>
        <source>Did you allow camera use?</source>
        <translation>Povolili jste použití kamery?</translation>
    </message>
    <message>
        <source>PRIVACY SETTINGS</source>
        <translation>NASTAVENÍ SOUKROMÍ</translation>
    </message>
    <message>
        <source>The camera speed is important. Lumora works from 20 frames per second (fps). Older or cheaper cameras can suffer from decreased capture speed during low light conditions due to increase of exposure time to balance the image brightness. On the contrary, too much light in camera view (e.g. window) reduces the exposure time and face could be too dark to detect blinks.</source>
        <translation>Rychlost kamery je důležitá. Lumora pracuje od 20 snímků za sekundu (fps). Starší nebo levnější kamery mohou při slabém osvětlení snímat pomaleji, protože prodlužují expoziční čas, aby vyrovnaly jas obrazu. Naopak příliš mnoho světla v záběru kamery (např. okno) zkracuje expoziční čas a obličej může být příliš tmavý na rozpoznání mrknutí.</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;justify&quot;&gt;No internet connection detected on startup. Restart lumora to try again. Do you use &lt;a href=&quot;https://www.whatismyproxy.com/&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;proxy&lt;/span&gt;&lt;/a&gt;? If you are at work probably your employer blocks some network communication. You can connect your computer by your phone to the Internet or use public wifi hotspot.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;justify&quot;&gt;Při spuštění nebylo zjištěno připojení k internetu. Restartujte lumora a zkuste to znovu. Používáte &lt;a href=&quot;https://www.whatismyproxy.com/&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;proxy&lt;/span&gt;&lt;/a&gt;? Pokud jste v práci, zaměstnavatel pravděpodobně blokuje část síťové komunikace. Počítač můžete připojit k internetu přes telefon nebo použít veřejný wifi hotspot.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>PROXY SETTINGS</source>
        <translation>NASTAVENÍ PROXY</translation>
    </message>
    <message>
        <source>Hotkeys</source>
        <translation>Klávesové zkratky</translation>
    </message>
    <message>
        <source>enable</source>
        <translation>zapnout</translation>
    </message>
    <message>
        <source>Increase screen brightness:</source>
        <translation>Zvýšit jas obrazovky:</translation>
    </message>
    <message>
        <source>Decrease screen brightness:</source>
        <translation>Snížit jas obrazovky:</translation>
    </message>
    <message>
        <source>Change color temperature:</source>
        <translation>Změnit teplotu barev:</translation>
    </message>
    <message>
        <source>Sometimes, when we need camera for other things like Skype or Call, the camera based features can be paused, while preserving the other features. The rules for automatic pause can be defined based on the Windows titles. For example, Skype runs in background and only when is running foreground there is a predisposition that it will need camera sooner or later.</source>
        <translation>Když kameru potřebujeme na jiné věci, například na Skype nebo hovor, funkce využívající kameru lze pozastavit a ostatní funkce zůstanou zapnuté. Pravidla automatického pozastavení lze určit podle názvů oken. Například Skype běží na pozadí a teprve když běží v popředí, je pravděpodobné, že bude dříve či později potřebovat kameru.</translation>
    </message>
    <message>
        <source>Automatic pause camera based features</source>
        <translation>Automaticky pozastavit funkce využívající kameru</translation>
    </message>
    <message>
        <source>When running on battery</source>
        <translation>Při napájení z baterie</translation>
    </message>
    <message>
        <source>When a keyword is present as part of window title of an app:</source>
        <translation>Když je klíčové slovo součástí názvu okna aplikace:</translation>
    </message>
    <message>
        <source>When a keyword is present as part of window title of foreground running app:</source>
        <translation>Když je klíčové slovo součástí názvu okna aplikace běžící v popředí:</translation>
    </message>
    <message>
        <source>separate by &apos;;&apos;, for example: &quot;Skype;Call;Zoom&quot;</source>
        <translation>oddělte znakem &apos;;&apos;, například: &quot;Skype;Call;Zoom&quot;</translation>
    </message>
    <message>
        <source>Sometimes, there is a big presentation on our laptop, or we are just watching a movie, in such cases it is desired to pause all lumora features so no reminders will come out. We can do it manually or define the automatic pause based on rules in settings. Here lumora looks only if given application is running or not. For example a media player, game or presentation tool. We can see all our running apps in Task Manager of the operating system.</source>
        <translation>Někdy máme na notebooku důležitou prezentaci nebo se právě díváme na film. Tehdy je žádoucí pozastavit všechny funkce lumora, aby se nezobrazovala žádná připomenutí. Můžeme to udělat ručně nebo v nastavení určit pravidla automatického pozastavení. Lumora zde sleduje pouze to, zda daná aplikace běží, například přehrávač médií, hra nebo nástroj na prezentace. Všechny běžící aplikace vidíme ve správci úloh operačního systému.</translation>
    </message>
    <message>
        <source>Pause lumora (all functionalities, all reminders)</source>
        <translation>Pozastavit lumora (všechny funkce, všechna připomenutí)</translation>
    </message>
    <message>
        <source>When the cloned screen is detected (probably a projector is connected)</source>
        <translation>Když je zjištěna klonovaná obrazovka (pravděpodobně je připojen projektor)</translation>
    </message>
    <message>
        <source>When one of these processes run:</source>
        <translation>Když běží některý z těchto procesů:</translation>
    </message>
    <message>
        <source>separate by &apos;;&apos;, for example: &quot;filename.exe;&quot;</source>
        <translation>oddělte znakem &apos;;&apos;, například: &quot;filename.exe;&quot;</translation>
    </message>
    <message>
        <source>Miscellaneous</source>
        <translation>Různé</translation>
    </message>
    <message>
        <source>Enable Beta version updates</source>
        <translation>Povolit aktualizace na beta verze</translation>
    </message>
    <message>
        <source>Start on operating system startup</source>
        <translation>Spustit při startu operačního systému</translation>
    </message>
    <message>
        <source>Send blink rate measurements for research</source>
        <translation>Posílat měření frekvence mrkání pro výzkum</translation>
    </message>
    <message>
        <source>Language:</source>
        <translation>Jazyk:</translation>
    </message>
    <message>
        <source>Select language</source>
        <translation>Vyberte jazyk</translation>
    </message>
    <message>
        <source>Providing healthier and refreshed eyes. Natural dry eye therapy app.</source>
        <translation>Pro zdravější a svěžejší oči. Aplikace pro přirozenou léčbu suchého oka.</translation>
    </message>
    <message>
        <source>Having issues? Please read </source>
        <translation>Máte potíže? Přečtěte si </translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;a href=&quot;https://www.harnwick.com/lumora/faq&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;FAQ&lt;/span&gt;&lt;/a&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;a href=&quot;https://www.harnwick.com/lumora/faq&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;časté dotazy&lt;/span&gt;&lt;/a&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;a href=&quot;https://www.harnwick.com/lumora/terms&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;PRIVACY POLICY&lt;/span&gt;&lt;/a&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;a href=&quot;https://www.harnwick.com/lumora/terms&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;ZÁSADY OCHRANY SOUKROMÍ&lt;/span&gt;&lt;/a&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Still, having issues? Please contact</source>
        <translation>Stále máte potíže? Kontaktujte</translation>
    </message>
    <message>
        <source>We will be happy to assist you.</source>
        <translation>Rádi vám pomůžeme.</translation>
    </message>
    <message>
        <source>Follow lumora on facebook</source>
        <translation>Sledujte lumora na facebooku</translation>
    </message>
    <message>
        <source>Cooperations</source>
        <translation>Spolupráce</translation>
    </message>
    <message>
        <source>Our partner brings eye care to people who spend their days at a screen: it supports research into dry eye and teaches simple habits that keep the eyes moist and rested.</source>
        <translation>Náš partner přináší péči o oči lidem, kteří tráví dny u obrazovky: podporuje výzkum suchého oka a učí jednoduché návyky, díky kterým zůstávají oči zvlhčené a odpočaté.</translation>
    </message>
    <message>
        <source>lumora version</source>
        <translation>lumora verze</translation>
    </message>
    <message>
        <source>lumora uses open source:</source>
        <translation>lumora používá open source:</translation>
    </message>
    <message>
        <source>NOTICES</source>
        <translation>UPOZORNĚNÍ</translation>
    </message>
    <message>
        <source>High screen brightness compared to room light often decreases the blink rate which leads to dry eye. Brightness control is not compatible with similar tools like f.lux.</source>
        <translation>Vysoký jas obrazovky ve srovnání se světlem v místnosti často snižuje frekvenci mrkání, což vede k suchému oku. Ovládání jasu není kompatibilní s podobnými nástroji, jako je f.lux.</translation>
    </message>
    <message>
        <source>ON/OFF</source>
        <translation>ZAP/VYP</translation>
    </message>
    <message>
        <source>Screen control</source>
        <translation>Ovládání obrazovky</translation>
    </message>
    <message>
        <source>Brightness</source>
        <translation>Jas</translation>
    </message>
    <message>
        <source>Software (-8 to 0) and hardware (0 to 10) screen brightness adjustment. 
Some monitors and graphics cards do not provide support for HW brightness
adjustments, in such a case only a SW brightness adjustment is available.</source>
        <translation>Softwarové (-8 až 0) a hardwarové (0 až 10) nastavení jasu obrazovky. 
Některé monitory a grafické karty nepodporují HW nastavení jasu,
v takovém případě je dostupné pouze SW nastavení jasu.</translation>
    </message>
    <message>
        <source>Color temperature</source>
        <translation>Teplota barev</translation>
    </message>
    <message>
        <source>Software screen color temperature adjustment</source>
        <translation>Softwarové nastavení teploty barev obrazovky</translation>
    </message>
    <message>
        <source>WARMER</source>
        <translation>TEPLEJŠÍ</translation>
    </message>
    <message>
        <source>WARM</source>
        <translation>TEPLÁ</translation>
    </message>
    <message>
        <source>NORMAL</source>
        <translation>NORMÁLNÍ</translation>
    </message>
    <message>
        <source>A blink reminder will help you to blink more often</source>
        <translation>Připomenutí mrkání vám pomůže mrkat častěji</translation>
    </message>
    <message>
        <source>Blink training</source>
        <translation>Trénink mrkání</translation>
    </message>
    <message>
        <source>Lumora takes about 10 to 20% of CPU when processing images from 
camera. Setting the frequency below 10 seconds increases the average 
cpu load. In such case, set the timer to turn off the screen, when PC inactive, 
(PC Settings -&gt; System -&gt; Power and Sleep ) as low as possible. 
In such a case, lumora will automatically pause its features to save energy.</source>
        <translation>Lumora při zpracování obrazu z kamery zatíží procesor asi na 10 až 20 %. 
Frekvence pod 10 sekund zvyšuje průměrné zatížení 
procesoru. V takovém případě nastavte čas vypnutí obrazovky při nečinnosti počítače 
(Nastavení počítače -&gt; Systém -&gt; Napájení a režim spánku) co nejkratší. 
Lumora pak automaticky pozastaví své funkce, aby šetřila energii.</translation>
    </message>
    <message>
        <source>Training frequency (how often to check for blinks):</source>
        <translation>Frekvence tréninku (jak často kontrolovat mrknutí):</translation>
    </message>
    <message>
        <source> sec.</source>
        <translation> s</translation>
    </message>
    <message>
        <source>Enable sound in the reminder</source>
        <translation>Zapnout zvuk v připomenutí</translation>
    </message>
    <message>
        <source>CHANGE REMINDER POSITION</source>
        <translation>ZMĚNIT POLOHU PŘIPOMENUTÍ</translation>
    </message>
    <message>
        <source>The reminder will be shown to use drag and drop.</source>
        <translation>Připomenutí se zobrazí, abyste ho mohli přesunout myší.</translation>
    </message>
    <message>
        <source>Use the simple reminder (no webcam use) at regular intervals</source>
        <translation>Používat jednoduché připomenutí (bez kamery) v pravidelných intervalech</translation>
    </message>
    <message>
        <source>Use the interactive reminder (shows only at low blink rate)</source>
        <translation>Používat interaktivní připomenutí (zobrazí se pouze při nízké frekvenci mrkání)</translation>
    </message>
    <message>
        <source>It uses the camera and the reminder goes away with your blink.</source>
        <translation>Využívá kameru a připomenutí zmizí, když mrknete.</translation>
    </message>
    <message>
        <source>I have Meibomian gland dysfunction</source>
        <translation>Mám dysfunkci Meibomových žláz</translation>
    </message>
    <message>
        <source>Select this option if you have healthy blink rate and still suffer from dry eye. The reminder will be shown at regular intervals and dismissed with your blink.</source>
        <translation>Tuto možnost zvolte, pokud máte zdravou frekvenci mrkání, a přesto trpíte suchým okem. Připomenutí se zobrazí v pravidelných intervalech a zmizí, když mrknete.</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;a href=&quot;https://www.harnwick.com/lumora/meibomian-gland-dysfunction&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;learn more&lt;/span&gt;&lt;/a&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;a href=&quot;https://www.harnwick.com/lumora/meibomian-gland-dysfunction&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;více informací&lt;/span&gt;&lt;/a&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Eye exercises (20 minutes recommended by eye doctors) are important to prevent tired eyes, we need to change our focus distance for a while. If include no mouse or keyboard activity as a break is enabled, these detected breaks are counted also as an eye exercise. For example, eye lids squeezing helps to fight Meibomian gland dysfunction. You can drag and drop the reminder to find a suitable location for it.</source>
        <translation>Oční cviky (každých 20 minut, jak doporučují oční lékaři) jsou důležité proti unaveným očím, na chvíli musíme změnit vzdálenost zaostření. Pokud je zapnuté započítání nečinnosti myši a klávesnice jako přestávky, takto zjištěné přestávky se počítají i jako oční cvičení. Například stlačování víček pomáhá proti dysfunkci Meibomových žláz. Připomenutí můžete přesunout myší na vhodné místo.</translation>
    </message>
    <message>
        <source>Eye exercises each 20 minutes</source>
        <translation>Oční cviky každých 20 minut</translation>
    </message>
    <message>
        <source>Regular breaks are important to prevent tired eyes and varicose veins. You can drag and drop the reminder to find a suitable location for it.</source>
        <translation>Pravidelné přestávky jsou důležité proti unaveným očím a křečovým žilám. Připomenutí můžete přesunout myší na vhodné místo.</translation>
    </message>
    <message>
        <source>Computer breaks</source>
        <translation>Přestávky od počítače</translation>
    </message>
    <message>
        <source>I stand up from my desk and take a break each</source>
        <translation>Vstanu od stolu a dám si přestávku každých</translation>
    </message>
    <message>
        <source>Standing up is important because of varicose veins prevention.</source>
        <translation>Vstát je důležité kvůli prevenci křečových žil.</translation>
    </message>
    <message>
        <source> min.</source>
        <translation> min.</translation>
    </message>
    <message>
        <source>Include your natural breaks (computer inactivity time) into the break reminder plan.</source>
        <translation>Započítat přirozené přestávky (čas nečinnosti počítače) do plánu připomenutí přestávek.</translation>
    </message>
    <message>
        <source>Consider</source>
        <translation>Považovat</translation>
    </message>
    <message>
        <source>of no mouse or keyboard activity as a break</source>
        <translation>bez aktivity myši a klávesnice za přestávku</translation>
    </message>
    <message>
        <source>Lumora will additionally measure your blink rate every half an hour. The measurement lasts about 3 minutes and the average blink rate will be displayed on the graph below. This measurement doesn&apos;t interfere with the Blink training.</source>
        <translation>Lumora bude navíc každou půlhodinu měřit vaši frekvenci mrkání. Měření trvá asi 3 minuty a průměrná frekvence mrkání se zobrazí v grafu níže. Toto měření neovlivňuje trénink mrkání.</translation>
    </message>
    <message>
        <source>Blink rate statistics</source>
        <translation>Statistika frekvence mrkání</translation>
    </message>
    <message>
        <source>The average from the measurements below</source>
        <translation>Průměr z měření níže</translation>
    </message>
    <message>
        <source>Enable notification on completed blink measurement</source>
        <translation>Zapnout oznámení o dokončeném měření mrkání</translation>
    </message>
    <message>
        <source>TAKE FIRST MEASUREMENT</source>
        <translation>PROVÉST PRVNÍ MĚŘENÍ</translation>
    </message>
    <message>
        <source>Open lumora</source>
        <translation>Otevřít lumora</translation>
    </message>
    <message>
        <source>Pause lumora</source>
        <translation>Pozastavit lumora</translation>
    </message>
    <message>
        <source>Presentation mode (No reminders, no measurements, no screen brightness changes)</source>
        <translation>Režim prezentace (žádná připomenutí, žádná měření, žádné změny jasu obrazovky)</translation>
    </message>
    <message>
        <source>Use lumora</source>
        <translation>Používat lumora</translation>
    </message>
    <message>
        <source>All settings back to normal</source>
        <translation>Všechna nastavení zpět do normálu</translation>
    </message>
    <message>
        <source>Stop camera use</source>
        <translation>Zastavit používání kamery</translation>
    </message>
    <message>
        <source>Pause camera-based features</source>
        <translation>Pozastavit funkce využívající kameru</translation>
    </message>
    <message>
        <source>Use camera</source>
        <translation>Používat kameru</translation>
    </message>
    <message>
        <source>Enable camera-based features</source>
        <translation>Zapnout funkce využívající kameru</translation>
    </message>
    <message>
        <source>Exit lumora</source>
        <translation>Ukončit lumora</translation>
    </message>
</context>
</TS>
