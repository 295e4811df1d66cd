<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="sk_SK">
<context>
    <name>BlinkReminderWidget</name>
    <message>
        <source>just blink ;)</source>
        <translation>len žmurkni ;)</translation>
    </message>
</context>
<context>
    <name>BreakReminderWidget</name>
    <message>
        <source>Use drag and drop to change the reminder position.</source>
        <translation>Pozíciu pripomienky zmeníte potiahnutím myšou.</translation>
    </message>
    <message>
        <source>lumora: it is time for your break</source>
        <translation>lumora: je čas na prestávku</translation>
    </message>
    <message>
        <source>The reminder disappears after you take a 4 minutes break.</source>
        <translation>Pripomienka zmizne, keď si dáte 4-minútovú prestávku.</translation>
    </message>
    <message>
        <source>My work is more important than my veins and eyes.</source>
        <translation>Moja práca je dôležitejšia ako moje žily a oči.</translation>
    </message>
    <message>
        <source>SKIP</source>
        <translation>PRESKOČIŤ</translation>
    </message>
    <message>
        <source>Give me five more minutes</source>
        <translation>Dajte mi ešte päť minút</translation>
    </message>
    <message>
        <source>SNOOZE (5 min.)</source>
        <translation>ODLOŽIŤ (5 min.)</translation>
    </message>
</context>
<context>
    <name>Downloader</name>
    <message>
        <source>Updater</source>
        <translation>Aktualizácia</translation>
    </message>
    <message>
        <source>Downloading updates</source>
        <translation>Sťahujú sa aktualizácie</translation>
    </message>
    <message>
        <source>Time remaining: 0 minutes</source>
        <translation>Zostávajúci čas: 0 minút</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Otvoriť</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Zastaviť</translation>
    </message>
    <message>
        <source>The update cannot be downloaded.</source>
        <translation>Aktualizáciu nie je možné stiahnuť.</translation>
    </message>
    <message>
        <source>Time remaining</source>
        <translation>Zostávajúci čas</translation>
    </message>
    <message>
        <source>unknown</source>
        <translation>neznámy</translation>
    </message>
    <message>
        <source>Downloading Updates</source>
        <translation>Sťahujú sa aktualizácie</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>Neznámy</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 bajtov</translation>
    </message>
    <message>
        <source>of</source>
        <translation>z</translation>
    </message>
    <message>
        <source>about %1 hours</source>
        <translation>približne %1 hodín</translation>
    </message>
    <message>
        <source>1 minute</source>
        <translation>1 minúta</translation>
    </message>
    <message>
        <source>%1 minutes</source>
        <translation>%1 minút</translation>
    </message>
    <message>
        <source>1 second</source>
        <translation>1 sekunda</translation>
    </message>
    <message>
        <source>%1 seconds</source>
        <translation>%1 sekúnd</translation>
    </message>
    <message>
        <source>Press OK to download again.</source>
        <translation>Stlačte OK a stiahnite ju znova.</translation>
    </message>
    <message>
        <source>Error, the downloaded update is corrupted!</source>
        <translation>Chyba, stiahnutá aktualizácia je poškodená!</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Zavrieť</translation>
    </message>
    <message>
        <source>Download complete!</source>
        <translation>Sťahovanie je dokončené!</translation>
    </message>
    <message>
        <source>The installer will open separately</source>
        <translation>Inštalátor sa otvorí samostatne</translation>
    </message>
    <message>
        <source>Installing the update will terminate the application.</source>
        <translation>Inštalácia aktualizácie ukončí aplikáciu.</translation>
    </message>
    <message>
        <source>Click &quot;OK&quot; to begin installing the update</source>
        <translation>Kliknite na „OK“ a spustite inštaláciu aktualizácie</translation>
    </message>
    <message>
        <source>Click the &quot;Open&quot; button to apply the update</source>
        <translation>Kliknite na tlačidlo „Otvoriť“ a použite aktualizáciu</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Chyba</translation>
    </message>
    <message>
        <source>The downloaded update is missing!</source>
        <translation>Stiahnutá aktualizácia chýba!</translation>
    </message>
    <message>
        <source>The downloaded update could not be opened.</source>
        <translation>Stiahnutú aktualizáciu sa nepodarilo otvoriť.</translation>
    </message>
    <message>
        <source>Are you sure you want to cancel the download?</source>
        <translation>Naozaj chcete zrušiť sťahovanie?</translation>
    </message>
</context>
<context>
    <name>ExerciseReminderWidget</name>
    <message>
        <source>Use drag and drop to change the reminder position.</source>
        <translation>Pozíciu pripomienky zmeníte potiahnutím myšou.</translation>
    </message>
    <message>
        <source>lumora eye exercise</source>
        <translation>lumora cvičenie pre oči</translation>
    </message>
    <message>
        <source>My work is more important than my eyes.</source>
        <translation>Moja práca je dôležitejšia ako moje oči.</translation>
    </message>
    <message>
        <source>SKIP</source>
        <translation>PRESKOČIŤ</translation>
    </message>
    <message>
        <source>Look out of the window (or towards any other long distance) for 10 sec.</source>
        <translation>Pozerajte sa 10 s z okna (alebo do akejkoľvek inej veľkej diaľky).</translation>
    </message>
    <message>
        <source>Blink while squeezing your lids for 10 sec.</source>
        <translation>Žmurkajte 10 s a pritom pevne stláčajte viečka.</translation>
    </message>
    <message>
        <source>Move your eyes from side to side for 10 sec.</source>
        <translation>Pohybujte očami 10 s zo strany na stranu.</translation>
    </message>
    <message>
        <source>Rotate your eyes for 10 sec.</source>
        <translation>Krúžte očami 10 s.</translation>
    </message>
</context>
<context>
    <name>LumoraGUI</name>
    <message>
        <source>version</source>
        <translation>verzia</translation>
    </message>
    <message>
        <source>lumora - settings</source>
        <translation>lumora - nastavenia</translation>
    </message>
    <message>
        <source>SAVE NEW POSITION</source>
        <translation>ULOŽIŤ NOVÚ POZÍCIU</translation>
    </message>
    <message>
        <source>Measurements</source>
        <translation>Merania</translation>
    </message>
    <message>
        <source>Blinks per minute</source>
        <translation>Žmurknutia za minútu</translation>
    </message>
    <message>
        <source>healthy</source>
        <translation>zdravé</translation>
    </message>
    <message>
        <source>lumora - presentation mode</source>
        <translation>lumora - režim prezentácie</translation>
    </message>
    <message>
        <source>lumora camera use paused</source>
        <translation>lumora - používanie kamery pozastavené</translation>
    </message>
    <message>
        <source>lumora</source>
        <translation>lumora</translation>
    </message>
    <message>
        <source>Measurement will start shortly.</source>
        <translation>Meranie sa čoskoro začne.</translation>
    </message>
    <message>
        <source>No measurement taken yet. Your blink rate is measured approximately every 30 minutes.</source>
        <translation>Zatiaľ nebolo vykonané žiadne meranie. Frekvencia žmurkania sa meria približne každých 30 minút.</translation>
    </message>
    <message>
        <source>Measurement in progress</source>
        <translation>Prebieha meranie</translation>
    </message>
    <message>
        <source>Lumora observes your blinks (blink training is active).</source>
        <translation>Lumora sleduje vaše žmurknutia (tréning žmurkania je zapnutý).</translation>
    </message>
    <message>
        <source>Error:</source>
        <translation>Chyba:</translation>
    </message>
    <message>
        <source> insufficient memory RAM or missing data.dat.</source>
        <translation> nedostatok pamäte RAM alebo chýba data.dat.</translation>
    </message>
    <message>
        <source> camera is used by other software.</source>
        <translation> kameru používa iný program.</translation>
    </message>
    <message>
        <source> low frame per second, cheap camera or bad light conditions.</source>
        <translation> nízky počet snímok za sekundu, lacná kamera alebo zlé svetelné podmienky.</translation>
    </message>
    <message>
        <source>Face not detected, please test blink detection performance (webcam icon).</source>
        <translation>Tvár nebola rozpoznaná, otestujte prosím detekciu žmurkania (ikona kamery).</translation>
    </message>
    <message>
        <source>More than one face detected.</source>
        <translation>Rozpoznaná viac ako jedna tvár.</translation>
    </message>
    <message>
        <source> empty frame received, camera unplugged? (or bad cable or broken camera or bad driver).</source>
        <translation> prijatý prázdny snímok, je kamera odpojená? (alebo zlý kábel, pokazená kamera či zlý ovládač).</translation>
    </message>
    <message>
        <source> wmic.exe missing from Windows PATH. Windows installation is corrupted.</source>
        <translation> wmic.exe chýba v ceste Windows PATH. Inštalácia Windows je poškodená.</translation>
    </message>
    <message>
        <source> camera is not connected.</source>
        <translation> kamera nie je pripojená.</translation>
    </message>
    <message>
        <source>no error</source>
        <translation>žiadna chyba</translation>
    </message>
    <message>
        <source>lumora - about</source>
        <translation>lumora - o aplikácii</translation>
    </message>
    <message>
        <source>Test blink detection</source>
        <translation>Test detekcie žmurkania</translation>
    </message>
    <message>
        <source>is running in background. You can quit Lumora by opening the right-click menu at this tray icon.</source>
        <comment>trayicon</comment>
        <translation>beží na pozadí. Lumoru ukončíte z ponuky, ktorú otvoríte pravým kliknutím na túto ikonu v oznamovacej oblasti.</translation>
    </message>
    <message>
        <source>CHANGE REMINDER POSITION</source>
        <translation>ZMENIŤ POZÍCIU PRIPOMIENKY</translation>
    </message>
    <message>
        <source>Open history</source>
        <translation>Otvoriť históriu</translation>
    </message>
    <message>
        <source>Blink rate:</source>
        <translation>Frekvencia žmurkania:</translation>
    </message>
    <message>
        <source>blinks per minute</source>
        <translation>žmurknutí za minútu</translation>
    </message>
    <message>
        <source>Average blink duration:</source>
        <translation>Priemerná dĺžka žmurknutia:</translation>
    </message>
    <message>
        <source>milliseconds</source>
        <translation>milisekúnd</translation>
    </message>
    <message>
        <source>Blink measurement completed</source>
        <translation>Meranie žmurkania dokončené</translation>
    </message>
    <message>
        <source>Blink rate: </source>
        <translation>Frekvencia žmurkania: </translation>
    </message>
    <message>
        <source> blinks per minute</source>
        <translation> žmurknutí za minútu</translation>
    </message>
</context>
<context>
    <name>Model</name>
    <message>
        <source>empty frame received
camera disconnected
or broken or bad cable
or bad driver</source>
        <translation>prijatý prázdny snímok
kamera je odpojená
alebo pokazená, zlý kábel
alebo zlý ovládač</translation>
    </message>
    <message>
        <source>empty frame received
camera disconnected
or broken or bad cable
or bad driver
or blocked by Windows privacy settings</source>
        <translation type="vanished">prijatý prázdny snímok
kamera je odpojená
alebo pokazená, zlý kábel
alebo zlý ovládač
alebo ju blokujú nastavenia súkromia Windows</translation>
    </message>
    <message>
        <source>camera is occupied or not connected</source>
        <translation>kamera je obsadená alebo nie je pripojená</translation>
    </message>
    <message>
        <source>camera is occupied or not connected
or blocked by Windows privacy settings</source>
        <translation type="vanished">kamera je obsadená alebo nie je pripojená
alebo ju blokujú nastavenia súkromia Windows</translation>
    </message>
    <message>
        <source>loading classifiers</source>
        <translation>načítavajú sa klasifikátory</translation>
    </message>
    <message>
        <source>missing file: data.dat or low memory</source>
        <translation>chýba súbor: data.dat alebo je málo pamäte</translation>
    </message>
    <message>
        <source>blink detected</source>
        <translation>žmurknutie zachytené</translation>
    </message>
</context>
<context>
    <name>Updater</name>
    <message>
        <source>Version %1 of %2 has been released!</source>
        <translation>Bola vydaná verzia %1 programu %2!</translation>
    </message>
    <message>
        <source>Would you like to download the update now (size %1MB)?</source>
        <translation>Chcete stiahnuť aktualizáciu teraz (veľkosť %1MB)?</translation>
    </message>
</context>
<context>
    <name>WidgetProxy</name>
    <message>
        <source>The port must be a number from 0 to 65535.</source>
        <translation>Port musí byť číslo od 0 do 65535.</translation>
    </message>
    <message>
        <source>Server unreachable or network settings has changed. Please provide valid settings or restart lumora.</source>
        <translation>Server je nedostupný alebo sa zmenili nastavenia siete. Zadajte platné nastavenia alebo reštartujte lumora.</translation>
    </message>
</context>
<context>
    <name>WidgetStatistics</name>
    <message>
        <source>Blinks per minute (bpm)</source>
        <translation>Žmurknutia za minútu (ž/min)</translation>
    </message>
    <message>
        <source>healthy</source>
        <translation>zdravé</translation>
    </message>
    <message>
        <source>Blink rate:</source>
        <translation>Frekvencia žmurkania:</translation>
    </message>
    <message>
        <source>blinks per minute</source>
        <translation>žmurknutí za minútu</translation>
    </message>
    <message>
        <source>Average blink duration:</source>
        <translation>Priemerná dĺžka žmurknutia:</translation>
    </message>
    <message>
        <source>milliseconds</source>
        <translation>milisekúnd</translation>
    </message>
    <message>
        <source>Are you sure to delete all measurements?</source>
        <translation>Naozaj chcete vymazať všetky merania?</translation>
    </message>
</context>
<context>
    <name>widgetProxy</name>
    <message>
        <source>Proxy settings</source>
        <translation>Nastavenia proxy</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Zavrieť</translation>
    </message>
    <message>
        <source>use these settings</source>
        <translation>použiť tieto nastavenia</translation>
    </message>
    <message>
        <source>Veryfing connection, please wait...</source>
        <translation>Overujem pripojenie, čakajte prosím...</translation>
    </message>
    <message>
        <source>port:</source>
        <translation>port:</translation>
    </message>
    <message>
        <source>username:</source>
        <translation>používateľské meno:</translation>
    </message>
    <message>
        <source>password:</source>
        <translation>heslo:</translation>
    </message>
    <message>
        <source>SAVE</source>
        <translation>ULOŽIŤ</translation>
    </message>
    <message>
        <source>CANCEL</source>
        <translation>ZRUŠIŤ</translation>
    </message>
</context>
<context>
    <name>widgetStatistics</name>
    <message>
        <source>Statistics</source>
        <translation>Štatistiky</translation>
    </message>
    <message>
        <source>Maximize</source>
        <translation>Maximalizovať</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Zavrieť</translation>
    </message>
    <message>
        <source>Start Date</source>
        <translation>Dátum začiatku</translation>
    </message>
    <message>
        <source>End date</source>
        <translation>Dátum konca</translation>
    </message>
    <message>
        <source>DELETE HISTORY</source>
        <translation>VYMAZAŤ HISTÓRIU</translation>
    </message>
</context>
<context>
    <name>widget_lumora</name>
    <message>
        <source>Settings</source>
        <translation>Nastavenia</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Späť</translation>
    </message>
    <message>
        <source>Test my camera</source>
        <translation>Otestovať moju kameru</translation>
    </message>
    <message>
        <source>About</source>
        <translation>O aplikácii</translation>
    </message>
    <message>
        <source>Minimize to tray icon</source>
        <translation>Minimalizovať do ikony v lište</translation>
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
        <translation>NASTAVENIA</translation>
    </message>
    <message>
        <source>This is a real-time blink detection test only, no measurement will be taken.</source>
        <translation>Toto je iba test detekcie žmurkania v reálnom čase, žiadne meranie sa nevykoná.</translation>
    </message>
    <message>
        <source>Did you allow camera use?</source>
        <translation>Povolili ste použitie kamery?</translation>
    </message>
    <message>
        <source>PRIVACY SETTINGS</source>
        <translation>NASTAVENIA SÚKROMIA</translation>
    </message>
    <message>
        <source>The camera speed is important. Lumora works from 20 frames per second (fps). Older or cheaper cameras can suffer from decreased capture speed during low light conditions due to increase of exposure time to balance the image brightness. On the contrary, too much light in camera view (e.g. window) reduces the exposure time and face could be too dark to detect blinks.</source>
        <translation>Rýchlosť kamery je dôležitá. Lumora pracuje od 20 snímok za sekundu (fps). Staršie alebo lacnejšie kamery môžu pri slabom osvetlení snímať pomalšie, pretože predlžujú expozičný čas, aby vyrovnali jas obrazu. Naopak, príliš veľa svetla v zábere kamery (napr. okno) skracuje expozičný čas a tvár môže byť príliš tmavá na rozpoznanie žmurknutí.</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;justify&quot;&gt;No internet connection detected on startup. Restart lumora to try again. Do you use &lt;a href=&quot;https://www.whatismyproxy.com/&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;proxy&lt;/span&gt;&lt;/a&gt;? If you are at work probably your employer blocks some network communication. You can connect your computer by your phone to the Internet or use public wifi hotspot.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;justify&quot;&gt;Pri spustení sa nezistilo pripojenie na internet. Reštartujte lumora a skúste to znova. Používate &lt;a href=&quot;https://www.whatismyproxy.com/&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;proxy&lt;/span&gt;&lt;/a&gt;? Ak ste v práci, zamestnávateľ pravdepodobne blokuje časť sieťovej komunikácie. Počítač môžete pripojiť na internet cez telefón alebo použiť verejný wifi hotspot.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>PROXY SETTINGS</source>
        <translation>NASTAVENIA PROXY</translation>
    </message>
    <message>
        <source>Hotkeys</source>
        <translation>Klávesové skratky</translation>
    </message>
    <message>
        <source>enable</source>
        <translation>zapnúť</translation>
    </message>
    <message>
        <source>Increase screen brightness:</source>
        <translation>Zvýšiť jas obrazovky:</translation>
    </message>
    <message>
        <source>Decrease screen brightness:</source>
        <translation>Znížiť jas obrazovky:</translation>
    </message>
    <message>
        <source>Change color temperature:</source>
        <translation>Zmeniť teplotu farieb:</translation>
    </message>
    <message>
        <source>Sometimes, when we need camera for other things like Skype or Call, the camera based features can be paused, while preserving the other features. The rules for automatic pause can be defined based on the Windows titles. For example, Skype runs in background and only when is running foreground there is a predisposition that it will need camera sooner or later.</source>
        <translation>Keď kameru potrebujeme na iné veci, napríklad na Skype alebo hovor, funkcie využívajúce kameru sa dajú pozastaviť a ostatné funkcie zostanú zapnuté. Pravidlá automatického pozastavenia sa dajú určiť podľa názvov okien. Napríklad Skype beží na pozadí a až keď beží v popredí, je pravdepodobné, že bude skôr či neskôr potrebovať kameru.</translation>
    </message>
    <message>
        <source>Automatic pause camera based features</source>
        <translation>Automaticky pozastaviť funkcie využívajúce kameru</translation>
    </message>
    <message>
        <source>When running on battery</source>
        <translation>Pri napájaní z batérie</translation>
    </message>
    <message>
        <source>When a keyword is present as part of window title of an app:</source>
        <translation>Keď je kľúčové slovo súčasťou názvu okna aplikácie:</translation>
    </message>
    <message>
        <source>When a keyword is present as part of window title of foreground running app:</source>
        <translation>Keď je kľúčové slovo súčasťou názvu okna aplikácie bežiacej v popredí:</translation>
    </message>
    <message>
        <source>separate by &apos;;&apos;, for example: &quot;Skype;Call;Zoom&quot;</source>
        <translation>oddeľte znakom &apos;;&apos;, napríklad: &quot;Skype;Call;Zoom&quot;</translation>
    </message>
    <message>
        <source>Sometimes, there is a big presentation on our laptop, or we are just watching a movie, in such cases it is desired to pause all lumora features so no reminders will come out. We can do it manually or define the automatic pause based on rules in settings. Here lumora looks only if given application is running or not. For example a media player, game or presentation tool. We can see all our running apps in Task Manager of the operating system.</source>
        <translation>Niekedy máme na notebooku dôležitú prezentáciu alebo práve pozeráme film. Vtedy je žiaduce pozastaviť všetky funkcie lumora, aby sa nezobrazovali žiadne pripomienky. Môžeme to urobiť ručne alebo v nastaveniach určiť pravidlá automatického pozastavenia. Lumora tu sleduje iba to, či daná aplikácia beží, napríklad prehrávač médií, hra alebo nástroj na prezentácie. Všetky bežiace aplikácie vidíme v správcovi úloh operačného systému.</translation>
    </message>
    <message>
        <source>Pause lumora (all functionalities, all reminders)</source>
        <translation>Pozastaviť lumora (všetky funkcie, všetky pripomienky)</translation>
    </message>
    <message>
        <source>When the cloned screen is detected (probably a projector is connected)</source>
        <translation>Keď sa zistí klonovaná obrazovka (pravdepodobne je pripojený projektor)</translation>
    </message>
    <message>
        <source>When one of these processes run:</source>
        <translation>Keď beží niektorý z týchto procesov:</translation>
    </message>
    <message>
        <source>separate by &apos;;&apos;, for example: &quot;filename.exe;&quot;</source>
        <translation>oddeľte znakom &apos;;&apos;, napríklad: &quot;filename.exe;&quot;</translation>
    </message>
    <message>
        <source>Miscellaneous</source>
        <translation>Rôzne</translation>
    </message>
    <message>
        <source>Enable Beta version updates</source>
        <translation>Povoliť aktualizácie na beta verzie</translation>
    </message>
    <message>
        <source>Start on operating system startup</source>
        <translation>Spustiť pri štarte operačného systému</translation>
    </message>
    <message>
        <source>Send blink rate measurements for research</source>
        <translation>Posielať merania frekvencie žmurkania na výskum</translation>
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
        <translation>Pre zdravšie a sviežejšie oči. Aplikácia na prirodzenú liečbu suchého oka.</translation>
    </message>
    <message>
        <source>Having issues? Please read </source>
        <translation>Máte problémy? Prečítajte si </translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;a href=&quot;https://www.harnwick.com/lumora/faq&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;FAQ&lt;/span&gt;&lt;/a&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;a href=&quot;https://www.harnwick.com/lumora/faq&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;časté otázky&lt;/span&gt;&lt;/a&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;a href=&quot;https://www.harnwick.com/lumora/terms&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;PRIVACY POLICY&lt;/span&gt;&lt;/a&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;a href=&quot;https://www.harnwick.com/lumora/terms&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;ZÁSADY OCHRANY SÚKROMIA&lt;/span&gt;&lt;/a&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Still, having issues? Please contact</source>
        <translation>Stále máte problémy? Kontaktujte</translation>
    </message>
    <message>
        <source>We will be happy to assist you.</source>
        <translation>Radi vám pomôžeme.</translation>
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
        <translation>Náš partner prináša starostlivosť o oči ľuďom, ktorí trávia dni pred obrazovkou: podporuje výskum suchého oka a učí jednoduché návyky, vďaka ktorým zostávajú oči zvlhčené a oddýchnuté.</translation>
    </message>
    <message>
        <source>lumora version</source>
        <translation>lumora verzia</translation>
    </message>
    <message>
        <source>lumora uses open source:</source>
        <translation>lumora používa open source:</translation>
    </message>
    <message>
        <source>NOTICES</source>
        <translation>UPOZORNENIA</translation>
    </message>
    <message>
        <source>High screen brightness compared to room light often decreases the blink rate which leads to dry eye. Brightness control is not compatible with similar tools like f.lux.</source>
        <translation>Vysoký jas obrazovky v porovnaní so svetlom v miestnosti často znižuje frekvenciu žmurkania, čo vedie k suchému oku. Ovládanie jasu nie je kompatibilné s podobnými nástrojmi, ako je f.lux.</translation>
    </message>
    <message>
        <source>ON/OFF</source>
        <translation>ZAP/VYP</translation>
    </message>
    <message>
        <source>Screen control</source>
        <translation>Ovládanie obrazovky</translation>
    </message>
    <message>
        <source>Brightness</source>
        <translation>Jas</translation>
    </message>
    <message>
        <source>Software (-8 to 0) and hardware (0 to 10) screen brightness adjustment. 
Some monitors and graphics cards do not provide support for HW brightness
adjustments, in such a case only a SW brightness adjustment is available.</source>
        <translation>Softvérové (-8 až 0) a hardvérové (0 až 10) nastavenie jasu obrazovky. 
Niektoré monitory a grafické karty nepodporujú HW nastavenie jasu,
v takom prípade je dostupné iba SW nastavenie jasu.</translation>
    </message>
    <message>
        <source>Color temperature</source>
        <translation>Teplota farieb</translation>
    </message>
    <message>
        <source>Software screen color temperature adjustment</source>
        <translation>Softvérové nastavenie teploty farieb obrazovky</translation>
    </message>
    <message>
        <source>WARMER</source>
        <translation>TEPLEJŠIA</translation>
    </message>
    <message>
        <source>WARM</source>
        <translation>TEPLÁ</translation>
    </message>
    <message>
        <source>NORMAL</source>
        <translation>NORMÁLNA</translation>
    </message>
    <message>
        <source>A blink reminder will help you to blink more often</source>
        <translation>Pripomienka žmurkania vám pomôže žmurkať častejšie</translation>
    </message>
    <message>
        <source>Blink training</source>
        <translation>Tréning žmurkania</translation>
    </message>
    <message>
        <source>Lumora takes about 10 to 20% of CPU when processing images from 
camera. Setting the frequency below 10 seconds increases the average 
cpu load. In such case, set the timer to turn off the screen, when PC inactive, 
(PC Settings -&gt; System -&gt; Power and Sleep ) as low as possible. 
In such a case, lumora will automatically pause its features to save energy.</source>
        <translation>Lumora pri spracovaní obrazu z kamery zaťaží procesor asi na 10 až 20 %. 
Frekvencia pod 10 sekúnd zvyšuje priemerné zaťaženie 
procesora. V takom prípade nastavte čas vypnutia obrazovky pri nečinnosti počítača 
(Nastavenia počítača -&gt; Systém -&gt; Napájanie a spánok) čo najkratší. 
Lumora potom automaticky pozastaví svoje funkcie, aby šetrila energiu.</translation>
    </message>
    <message>
        <source>Training frequency (how often to check for blinks):</source>
        <translation>Frekvencia tréningu (ako často kontrolovať žmurknutia):</translation>
    </message>
    <message>
        <source> sec.</source>
        <translation> s</translation>
    </message>
    <message>
        <source>Enable sound in the reminder</source>
        <translation>Zapnúť zvuk v pripomienke</translation>
    </message>
    <message>
        <source>CHANGE REMINDER POSITION</source>
        <translation>ZMENIŤ POLOHU PRIPOMIENKY</translation>
    </message>
    <message>
        <source>The reminder will be shown to use drag and drop.</source>
        <translation>Pripomienka sa zobrazí, aby ste ju mohli presunúť myšou.</translation>
    </message>
    <message>
        <source>Use the simple reminder (no webcam use) at regular intervals</source>
        <translation>Používať jednoduchú pripomienku (bez kamery) v pravidelných intervaloch</translation>
    </message>
    <message>
        <source>Use the interactive reminder (shows only at low blink rate)</source>
        <translation>Používať interaktívnu pripomienku (zobrazí sa iba pri nízkej frekvencii žmurkania)</translation>
    </message>
    <message>
        <source>It uses the camera and the reminder goes away with your blink.</source>
        <translation>Využíva kameru a pripomienka zmizne, keď žmurknete.</translation>
    </message>
    <message>
        <source>I have Meibomian gland dysfunction</source>
        <translation>Mám dysfunkciu Meibomových žliaz</translation>
    </message>
    <message>
        <source>Select this option if you have healthy blink rate and still suffer from dry eye. The reminder will be shown at regular intervals and dismissed with your blink.</source>
        <translation>Túto možnosť zvoľte, ak máte zdravú frekvenciu žmurkania, a napriek tomu trpíte suchým okom. Pripomienka sa zobrazí v pravidelných intervaloch a zmizne, keď žmurknete.</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;a href=&quot;https://www.harnwick.com/lumora/meibomian-gland-dysfunction&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;learn more&lt;/span&gt;&lt;/a&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;a href=&quot;https://www.harnwick.com/lumora/meibomian-gland-dysfunction&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;viac informácií&lt;/span&gt;&lt;/a&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Eye exercises (20 minutes recommended by eye doctors) are important to prevent tired eyes, we need to change our focus distance for a while. If include no mouse or keyboard activity as a break is enabled, these detected breaks are counted also as an eye exercise. For example, eye lids squeezing helps to fight Meibomian gland dysfunction. You can drag and drop the reminder to find a suitable location for it.</source>
        <translation>Očné cviky (každých 20 minút, ako odporúčajú oční lekári) sú dôležité proti unaveným očiam, na chvíľu musíme zmeniť vzdialenosť zaostrenia. Ak je zapnuté započítanie nečinnosti myši a klávesnice ako prestávky, takto zistené prestávky sa počítajú aj ako očné cvičenie. Napríklad stláčanie viečok pomáha proti dysfunkcii Meibomových žliaz. Pripomienku môžete presunúť myšou na vhodné miesto.</translation>
    </message>
    <message>
        <source>Eye exercises each 20 minutes</source>
        <translation>Očné cviky každých 20 minút</translation>
    </message>
    <message>
        <source>Regular breaks are important to prevent tired eyes and varicose veins. You can drag and drop the reminder to find a suitable location for it.</source>
        <translation>Pravidelné prestávky sú dôležité proti unaveným očiam a kŕčovým žilám. Pripomienku môžete presunúť myšou na vhodné miesto.</translation>
    </message>
    <message>
        <source>Computer breaks</source>
        <translation>Prestávky od počítača</translation>
    </message>
    <message>
        <source>I stand up from my desk and take a break each</source>
        <translation>Vstanem od stola a dám si prestávku každých</translation>
    </message>
    <message>
        <source>Standing up is important because of varicose veins prevention.</source>
        <translation>Vstať je dôležité kvôli prevencii kŕčových žíl.</translation>
    </message>
    <message>
        <source> min.</source>
        <translation> min.</translation>
    </message>
    <message>
        <source>Include your natural breaks (computer inactivity time) into the break reminder plan.</source>
        <translation>Započítať prirodzené prestávky (čas nečinnosti počítača) do plánu pripomienok prestávok.</translation>
    </message>
    <message>
        <source>Consider</source>
        <translation>Považovať</translation>
    </message>
    <message>
        <source>of no mouse or keyboard activity as a break</source>
        <translation>bez aktivity myši a klávesnice za prestávku</translation>
    </message>
    <message>
        <source>Lumora will additionally measure your blink rate every half an hour. The measurement lasts about 3 minutes and the average blink rate will be displayed on the graph below. This measurement doesn&apos;t interfere with the Blink training.</source>
        <translation>Lumora bude navyše každú pol hodinu merať vašu frekvenciu žmurkania. Meranie trvá asi 3 minúty a priemerná frekvencia žmurkania sa zobrazí v grafe nižšie. Toto meranie neovplyvňuje tréning žmurkania.</translation>
    </message>
    <message>
        <source>Blink rate statistics</source>
        <translation>Štatistika frekvencie žmurkania</translation>
    </message>
    <message>
        <source>The average from the measurements below</source>
        <translation>Priemer z meraní nižšie</translation>
    </message>
    <message>
        <source>Enable notification on completed blink measurement</source>
        <translation>Zapnúť oznámenie o dokončenom meraní žmurkania</translation>
    </message>
    <message>
        <source>TAKE FIRST MEASUREMENT</source>
        <translation>VYKONAŤ PRVÉ MERANIE</translation>
    </message>
    <message>
        <source>Open lumora</source>
        <translation>Otvoriť lumora</translation>
    </message>
    <message>
        <source>Pause lumora</source>
        <translation>Pozastaviť lumora</translation>
    </message>
    <message>
        <source>Presentation mode (No reminders, no measurements, no screen brightness changes)</source>
        <translation>Režim prezentácie (žiadne pripomienky, žiadne merania, žiadne zmeny jasu obrazovky)</translation>
    </message>
    <message>
        <source>Use lumora</source>
        <translation>Používať lumora</translation>
    </message>
    <message>
        <source>All settings back to normal</source>
        <translation>Všetky nastavenia späť do normálu</translation>
    </message>
    <message>
        <source>Stop camera use</source>
        <translation>Zastaviť používanie kamery</translation>
    </message>
    <message>
        <source>Pause camera-based features</source>
        <translation>Pozastaviť funkcie využívajúce kameru</translation>
    </message>
    <message>
        <source>Use camera</source>
        <translation>Používať kameru</translation>
    </message>
    <message>
        <source>Enable camera-based features</source>
        <translation>Zapnúť funkcie využívajúce kameru</translation>
    </message>
    <message>
        <source>Exit lumora</source>
        <translation>Ukončiť lumora</translation>
    </message>
</context>
</TS>
