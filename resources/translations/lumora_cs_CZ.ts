<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="cs_CZ">
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
        <translation>přijat prázdný snímek
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
        <translation>kamera je obsazená nebo není připojená
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
</TS>
