<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
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
        <translation>leeres Bild empfangen
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
        <translation>Kamera ist belegt oder nicht angeschlossen
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
</TS>
