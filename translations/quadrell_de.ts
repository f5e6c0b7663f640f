<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en">
<context>
    <name>Client</name>
    <message>
        <source>Reconnecting...</source>
        <translation>Verbindung wird wiederhergestellt...</translation>
    </message>
    <message>
        <source>The game could not be reached again: your seat is given up.</source>
        <translation>Das Spiel war nicht wieder zu erreichen: dein Platz ist aufgegeben.</translation>
    </message>
    <message>
        <source>Press &apos;c&apos; to add a computer player.</source>
        <translation>Drücke &apos;c&apos; für einen Computerspieler.</translation>
    </message>
    <message>
        <source>Press &apos;r&apos; for a new game.</source>
        <translation>Drücke &apos;r&apos; für ein neues Spiel.</translation>
    </message>
    <message>
        <source>Press &apos;r&apos; when both players are ready.</source>
        <translation>Drückt &apos;r&apos;, wenn ihr beide bereit seid.</translation>
    </message>
    <message>
        <source>Press &apos;r&apos; when you are ready.</source>
        <translation>Drücke &apos;r&apos;, wenn du bereit bist.</translation>
    </message>
    <message>
        <source>The server settings could not be saved and will be reset at the next start.</source>
        <translation>Die Servereinstellungen konnten nicht gespeichert werden und werden beim nächsten Start zurückgesetzt.</translation>
    </message>
    <message>
        <source>Starting server...</source>
        <translation>Server wird gestartet...</translation>
    </message>
    <message>
        <source>The connection could not be initialized.</source>
        <translation>Die Verbindung konnte nicht aufgebaut werden.</translation>
    </message>
    <message>
        <source>The masterserver could not be reached. Other players can only connect to you directly.</source>
        <translation>Der Masterserver ist nicht erreichbar. Andere Spieler können sich nur direkt mit dir verbinden.</translation>
    </message>
    <message>
        <source>The server &apos;%1&apos; could not be found.</source>
        <translation>Der Server &apos;%1&apos; wurde nicht gefunden.</translation>
    </message>
    <message>
        <source>Connecting to %1...</source>
        <translation>Verbinde mit %1...</translation>
    </message>
    <message>
        <source>Press &apos;ESC&apos; to abort.</source>
        <translation>Drücke &apos;ESC&apos; zum Abbrechen.</translation>
    </message>
    <message>
        <source>Joining by invite code needs a master server (masterserver.ini).</source>
        <translation>Für den Beitritt mit Einladungscode braucht es einen Masterserver (masterserver.ini).</translation>
    </message>
    <message>
        <source>The master server did not answer: the invite code %1 could not be looked up.</source>
        <translation>Der Masterserver hat nicht geantwortet: Der Einladungscode %1 konnte nicht nachgeschlagen werden.</translation>
    </message>
    <message>
        <source>Invite code %1 (Ctrl+C copies it): the master server checks whether friends can reach the game...</source>
        <translation>Einladungscode %1 (Strg+C kopiert ihn): Der Masterserver prüft, ob Freunde das Spiel erreichen...</translation>
    </message>
    <message>
        <source>Invite code %1 (Ctrl+C copies it): friends can join from anywhere, the game is reachable at %2</source>
        <translation>Einladungscode %1 (Strg+C kopiert ihn): Freunde können von überall beitreten, das Spiel ist unter %2 erreichbar</translation>
    </message>
    <message>
        <source>You play through the relay at %1: the host&apos;s game cannot be reached directly.</source>
        <translation>Du spielst über das Relay bei %1: Das Spiel des Gastgebers ist nicht direkt erreichbar.</translation>
    </message>
    <message>
        <source>You play directly with the host&apos;s game at %1: both routers were opened towards each other.</source>
        <translation>Du spielst direkt mit dem Spiel des Gastgebers bei %1: Beide Router wurden füreinander geöffnet.</translation>
    </message>
    <message>
        <source>Invite code %1 (Ctrl+C copies it): the master server cannot reach the game directly, so friends join through both routers where they can be opened, else through the relay at %2</source>
        <translation>Einladungscode %1 (Strg+C kopiert ihn): Der Masterserver erreicht das Spiel nicht direkt, also treten Freunde durch beide Router bei, wo sie sich öffnen lassen, sonst über das Relay bei %2</translation>
    </message>
    <message>
        <source>Invite code %1 (Ctrl+C copies it): the master server cannot reach the game, so friends join only where both routers can be opened towards each other (players on this network always)</source>
        <translation>Einladungscode %1 (Strg+C kopiert ihn): Der Masterserver erreicht das Spiel nicht, also treten Freunde nur bei, wo sich beide Router füreinander öffnen lassen (Spieler in diesem Netzwerk immer)</translation>
    </message>
    <message>
        <source>The game of invite code %1 cannot be reached from the internet: its host&apos;s router lets nobody in. Only players on the host&apos;s network can join.</source>
        <translation>Das Spiel mit dem Einladungscode %1 ist aus dem Internet nicht erreichbar: Der Router des Gastgebers lässt niemanden herein. Nur Spieler im Netzwerk des Gastgebers können beitreten.</translation>
    </message>
    <message>
        <source>No game has the invite code %1.</source>
        <translation>Kein Spiel hat den Einladungscode %1.</translation>
    </message>
    <message>
        <source>The server &apos;%1&apos; requires version &apos;%2&apos; of the game.</source>
        <translation>Der Server &apos;%1&apos; verlangt Version &apos;%2&apos; des Spiels.</translation>
    </message>
    <message>
        <source>Waiting for other game to finish...</source>
        <translation>Warte auf das Ende des laufenden Spiels...</translation>
    </message>
    <message>
        <source>Starting in</source>
        <translation>Start in</translation>
    </message>
    <message>
        <source>Game paused...</source>
        <translation>Spiel pausiert...</translation>
    </message>
    <message>
        <source>Resuming in</source>
        <translation>Weiter in</translation>
    </message>
    <message>
        <source>Game restarted by the server.</source>
        <translation>Der Server hat das Spiel neu gestartet.</translation>
    </message>
    <message>
        <source>Start abortet.</source>
        <translation>Start abgebrochen.</translation>
    </message>
    <message numerus="yes">
        <source>GAME OVER (%n Point(s))</source>
        <translation>
            <numerusform>GAME OVER (%n Punkt)</numerusform>
            <numerusform>GAME OVER (%n Punkte)</numerusform>
        </translation>
    </message>
    <message>
        <source>The highcore could not be saved locally.</source>
        <translation>Die Bestenliste konnte nicht lokal gespeichert werden.</translation>
    </message>
    <message>
        <source>%1 has joined the game.</source>
        <translation>%1 ist dem Spiel beigetreten.</translation>
    </message>
    <message>
        <source>Waiting for other players...</source>
        <translation>Warte auf andere Spieler...</translation>
    </message>
    <message>
        <source>Press &apos;s&apos; to start the game.</source>
        <translation>Drücke &apos;s&apos;, um das Spiel zu starten.</translation>
    </message>
    <message>
        <source>Press &apos;r&apos; if you are not ready anymore.</source>
        <translation>Drücke &apos;r&apos;, wenn du nicht mehr bereit bist.</translation>
    </message>
    <message>
        <source>Waiting for the server to start the game...</source>
        <translation>Warte, bis der Server das Spiel startet...</translation>
    </message>
    <message>
        <source>Stats successfully uploaded.</source>
        <translation>Statistik erfolgreich übertragen.</translation>
    </message>
    <message>
        <source>The stats could not be sended.</source>
        <translation>Die Statistik konnte nicht übertragen werden.</translation>
    </message>
    <message>
        <source>%1 was kicked by the server.</source>
        <translation>%1 wurde vom Server rausgeworfen.</translation>
    </message>
    <message>
        <source>%1 has left the game.</source>
        <translation>%1 hat das Spiel verlassen.</translation>
    </message>
    <message>
        <source>You have been kicked by the server.</source>
        <translation>Du wurdest vom Server rausgeworfen.</translation>
    </message>
    <message>
        <source>Disconnecting...</source>
        <translation>Verbindung wird getrennt...</translation>
    </message>
    <message>
        <source>The connection to the server was lost.</source>
        <translation>Die Verbindung zum Server ist abgebrochen.</translation>
    </message>
    <message>
        <source>The server was shut down.</source>
        <translation>Der Server wurde heruntergefahren.</translation>
    </message>
    <message>
        <source>The server &apos;%1&apos; is already full.</source>
        <translation>Der Server &apos;%1&apos; ist bereits voll.</translation>
    </message>
    <message>
        <source>The server &apos;%1&apos; did not accept your password.</source>
        <translation>Der Server &apos;%1&apos; hat dein Passwort nicht angenommen.</translation>
    </message>
    <message>
        <source>The options could not be saved and will be reset at the next start.</source>
        <translation>Die Optionen konnten nicht gespeichert werden und werden beim nächsten Start zurückgesetzt.</translation>
    </message>
    <message>
        <source>Player</source>
        <translation>Spieler</translation>
    </message>
</context>
<context>
    <name>CreditsRoll</name>
    <message>
        <source>Programming</source>
        <translation>Programmierung</translation>
    </message>
    <message>
        <source>Design</source>
        <translation>Design</translation>
    </message>
    <message>
        <source>The Quadrell team</source>
        <translation>Das Quadrell-Team</translation>
    </message>
    <message>
        <source>Beta-Tests</source>
        <translation>Beta-Tests</translation>
    </message>
    <message>
        <source>quadrell-bot (for the soak runs)</source>
        <translation>quadrell-bot (für die Dauertests)</translation>
    </message>
    <message>
        <source>Special Thanks</source>
        <translation>Besonderer Dank</translation>
    </message>
    <message>
        <source>The Qt Project (for the toolkit)</source>
        <translation>Das Qt-Projekt (für das Toolkit)</translation>
    </message>
    <message>
        <source>The DejaVu font authors (for the letters)</source>
        <translation>Die DejaVu-Autoren (für die Buchstaben)</translation>
    </message>
    <message>
        <source>The Mesa developers (for the software renderer)</source>
        <translation>Die Mesa-Entwickler (für den Software-Renderer)</translation>
    </message>
    <message>
        <source>Debian (for the system we build on)</source>
        <translation>Debian (für das System, auf dem wir bauen)</translation>
    </message>
    <message>
        <source>Used Libraries</source>
        <translation>Verwendete Bibliotheken</translation>
    </message>
    <message>
        <source>Qt 6 - GNU Lesser General Public License, version 3</source>
        <translation>Qt 6 - GNU Lesser General Public License, Version 3</translation>
    </message>
    <message>
        <source>DejaVu fonts - Bitstream Vera Fonts licence</source>
        <translation>DejaVu-Schriften - Lizenz der Bitstream Vera Fonts</translation>
    </message>
    <message>
        <source>Thanks for playing Quadrell!</source>
        <translation>Danke, dass du Quadrell spielst!</translation>
    </message>
</context>
<context>
    <name>GamepadInput</name>
    <message>
        <source>Gamepad</source>
        <translation>Gamepad</translation>
    </message>
    <message>
        <source>Gamepad connected: %1</source>
        <translation>Gamepad verbunden: %1</translation>
    </message>
    <message>
        <source>Gamepad disconnected: %1</source>
        <translation>Gamepad getrennt: %1</translation>
    </message>
</context>
<context>
    <name>GameResult</name>
    <message>
        <source>and</source>
        <translation>und</translation>
    </message>
</context>
<context>
    <name>GameSurface</name>
    <message>
        <source>Visual quality: %1 (%2 frames a second at %3)</source>
        <translation>Grafikqualität: %1 (%2 Bilder pro Sekunde bei %3)</translation>
    </message>
    <message>
        <source>Visual quality: %1 (only %2 frames a second at %3)</source>
        <translation>Grafikqualität: %1 (nur %2 Bilder pro Sekunde bei %3)</translation>
    </message>
    <message>
        <source>Finding the best visual quality: %1</source>
        <translation>Beste Grafikqualität wird ermittelt: %1</translation>
    </message>
</context>
<context>
    <name>GuiSession</name>
    <message>
        <source>Notice</source>
        <translation>Hinweis</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Invite code %1 copied to the clipboard.</source>
        <translation>Einladungscode %1 in die Zwischenablage kopiert.</translation>
    </message>
</context>
<context>
    <name>MenuModel</name>
    <message>
        <source>Computer players</source>
        <translation>Computerspieler</translation>
    </message>
    <message>
        <source>Computer skill</source>
        <translation>Stärke der Computer</translation>
    </message>
    <message>
        <source>Open port on router</source>
        <translation>Port am Router öffnen</translation>
    </message>
    <message>
        <source>Visibility</source>
        <translation>Sichtbarkeit</translation>
    </message>
    <message>
        <source>Public</source>
        <translation>Öffentlich</translation>
    </message>
    <message>
        <source>Invite only</source>
        <translation>Nur mit Einladung</translation>
    </message>
    <message>
        <source>Take over for players who leave</source>
        <translation>Für gehende Spieler übernehmen</translation>
    </message>
    <message>
        <source>Easy</source>
        <translation>Leicht</translation>
    </message>
    <message>
        <source>Hard</source>
        <translation>Schwer</translation>
    </message>
    <message>
        <source>Gamepad: none</source>
        <translation>Gamepad: keins</translation>
    </message>
    <message>
        <source>Gamepad: %1</source>
        <translation>Gamepad: %1</translation>
    </message>
    <message>
        <source>Gamepads: %1</source>
        <translation>Gamepads: %1</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Ja</translation>
    </message>
    <message>
        <source>No</source>
        <translation>Nein</translation>
    </message>
    <message>
        <source>Singleplayer</source>
        <translation>Einzelspieler</translation>
    </message>
    <message>
        <source>Multiplayer</source>
        <translation>Mehrspieler</translation>
    </message>
    <message>
        <source>Splitscreen</source>
        <translation>Splitscreen</translation>
    </message>
    <message>
        <source>Highscore</source>
        <translation>Bestenliste</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>Optionen</translation>
    </message>
    <message>
        <source>Exit program</source>
        <translation>Programm beenden</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>Host</source>
        <translation>Hosten</translation>
    </message>
    <message>
        <source>Join (serverlist)</source>
        <translation>Beitreten (Serverliste)</translation>
    </message>
    <message>
        <source>Join (direct)</source>
        <translation>Beitreten (direkt)</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Zurück</translation>
    </message>
    <message>
        <source>Local</source>
        <translation>Lokal</translation>
    </message>
    <message>
        <source>Network (host)</source>
        <translation>Netzwerk (hosten)</translation>
    </message>
    <message>
        <source>Network (join via serverlist)</source>
        <translation>Netzwerk (über Serverliste)</translation>
    </message>
    <message>
        <source>Network (join direct)</source>
        <translation>Netzwerk (direkt beitreten)</translation>
    </message>
    <message>
        <source>Splitscreen (join)</source>
        <translation>Splitscreen (beitreten)</translation>
    </message>
    <message>
        <source>Multiplayer (join)</source>
        <translation>Mehrspieler (beitreten)</translation>
    </message>
    <message>
        <source>Address, host name or invite code (XXXX-XXXX)</source>
        <translation>Adresse, Hostname oder Einladungscode (XXXX-XXXX)</translation>
    </message>
    <message>
        <source>Address</source>
        <translation>Adresse</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>Verbinden</translation>
    </message>
    <message>
        <source>You need a password to enter this server.</source>
        <translation>Dieser Server verlangt ein Passwort.</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Passwort</translation>
    </message>
    <message>
        <source>Continue game</source>
        <translation>Weiterspielen</translation>
    </message>
    <message>
        <source>Restart game</source>
        <translation>Spiel neu starten</translation>
    </message>
    <message>
        <source>Exit game</source>
        <translation>Spiel verlassen</translation>
    </message>
    <message>
        <source>Splitscreen (host)</source>
        <translation>Splitscreen (hosten)</translation>
    </message>
    <message>
        <source>Multiplayer (host)</source>
        <translation>Mehrspieler (hosten)</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Ranked</source>
        <translation>Gewertet</translation>
    </message>
    <message>
        <source>Use password</source>
        <translation>Passwort verwenden</translation>
    </message>
    <message>
        <source>Max. players</source>
        <translation>Max. Spieler</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>Top</source>
        <translation>Oben</translation>
    </message>
    <message>
        <source>Bottom</source>
        <translation>Unten</translation>
    </message>
    <message>
        <source>Low</source>
        <translation>Niedrig</translation>
    </message>
    <message>
        <source>Normal</source>
        <translation>Normal</translation>
    </message>
    <message>
        <source>High</source>
        <translation>Hoch</translation>
    </message>
    <message>
        <source>Playername</source>
        <translation>Spielername</translation>
    </message>
    <message>
        <source>Invert horiz. controls</source>
        <translation>Steuerung horiz. umkehren</translation>
    </message>
    <message>
        <source>Show next blocks</source>
        <translation>Nächste Steine zeigen</translation>
    </message>
    <message>
        <source>Show target-marker</source>
        <translation>Zielmarkierung zeigen</translation>
    </message>
    <message>
        <source>Draw all blocks with the same color</source>
        <translation>Alle Steine in einer Farbe</translation>
    </message>
    <message>
        <source>Resolution</source>
        <translation>Auflösung</translation>
    </message>
    <message>
        <source>Visual quality</source>
        <translation>Grafikqualität</translation>
    </message>
    <message>
        <source>Find the best visual quality</source>
        <translation>Beste Grafikqualität ermitteln</translation>
    </message>
    <message>
        <source>Activate VSync</source>
        <translation>VSync aktivieren</translation>
    </message>
    <message>
        <source>Play sounds</source>
        <translation>Töne abspielen</translation>
    </message>
    <message>
        <source>Play ranked (local)</source>
        <translation>Gewertet spielen (lokal)</translation>
    </message>
    <message>
        <source>Predict own moves</source>
        <translation>Eigene Züge vorhersagen</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Page</source>
        <translation>Seite</translation>
    </message>
    <message>
        <source>All</source>
        <translation>Alle</translation>
    </message>
    <message>
        <source>Not empty</source>
        <translation>Nicht leer</translation>
    </message>
    <message>
        <source>Not full</source>
        <translation>Nicht voll</translation>
    </message>
    <message>
        <source>Not empty / full</source>
        <translation>Nicht leer / voll</translation>
    </message>
    <message>
        <source>Version</source>
        <translation>Version</translation>
    </message>
    <message>
        <source>Same</source>
        <translation>Gleiche</translation>
    </message>
    <message>
        <source>Players</source>
        <translation>Spieler</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Ping</source>
        <translation>Ping</translation>
    </message>
    <message numerus="yes">
        <source>%n Player(s)</source>
        <translation>
            <numerusform>%n Spieler</numerusform>
            <numerusform>%n Spieler</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>IntroSequence</name>
    <message>
        <source>Quadrell</source>
        <extracomment>The program&apos;s name, shown at the end of the intro.</extracomment>
        <translation>Quadrell</translation>
    </message>
</context>
<context>
    <name>OverlayPainter</name>
    <message>
        <source>Red</source>
        <translation>Rot</translation>
    </message>
    <message>
        <source>Blue</source>
        <translation>Blau</translation>
    </message>
    <message>
        <source>Green</source>
        <translation>Grün</translation>
    </message>
    <message>
        <source>Yellow</source>
        <translation>Gelb</translation>
    </message>
    <message>
        <source>Magenta</source>
        <translation>Magenta</translation>
    </message>
    <message>
        <source>Cyan</source>
        <translation>Cyan</translation>
    </message>
    <message>
        <source>Auto</source>
        <translation>Auto</translation>
    </message>
    <message>
        <source>Connecting</source>
        <translation>Verbindet</translation>
    </message>
    <message>
        <source>Waiting</source>
        <translation>Wartet</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>Bereit</translation>
    </message>
    <message>
        <source>Playing</source>
        <translation>Spielt</translation>
    </message>
    <message>
        <source>Spectating</source>
        <translation>Schaut zu</translation>
    </message>
    <message>
        <source>Pausing</source>
        <translation>Pausiert</translation>
    </message>
    <message>
        <source>Score</source>
        <translation>Pkt.</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Zeit</translation>
    </message>
    <message>
        <source>FPS</source>
        <translation>FPS</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Color</source>
        <translation>Farbe</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Ping</source>
        <translation>Ping</translation>
    </message>
    <message>
        <source>Say</source>
        <translation>Sagen</translation>
    </message>
    <message>
        <source>Filter</source>
        <translation>Filter</translation>
    </message>
    <message>
        <source>Retrieving severlist...</source>
        <translation>Serverliste wird abgerufen...</translation>
    </message>
    <message>
        <source>The masterserver could not be reached, so you can only connect to servers directly.</source>
        <translation>Der Masterserver ist nicht erreichbar, du kannst dich nur direkt mit Servern verbinden.</translation>
    </message>
    <message>
        <source>Could not find any active servers.</source>
        <translation>Keine aktiven Server gefunden.</translation>
    </message>
    <message>
        <source>Could not find any active servers matching these filters.</source>
        <translation>Keine aktiven Server zu diesen Filtern gefunden.</translation>
    </message>
    <message>
        <source>LAN</source>
        <translation>LAN</translation>
    </message>
    <message>
        <source>Player(s)</source>
        <translation>Spieler</translation>
    </message>
    <message>
        <source>Pts.</source>
        <translation>Pkt.</translation>
    </message>
    <message>
        <source>Lns.</source>
        <translation>Reihen</translation>
    </message>
    <message>
        <source>Playtime</source>
        <translation>Spielzeit</translation>
    </message>
    <message>
        <source>Date</source>
        <translation>Datum</translation>
    </message>
</context>
<context>
    <name>Reachability</name>
    <message>
        <source>Asking the router for port %1...</source>
        <translation>Der Router wird nach Port %1 gefragt...</translation>
    </message>
    <message>
        <source>The router opened %1, but another router or the provider stands in front of it: friends on the internet probably cannot join</source>
        <translation>Der Router hat %1 geöffnet, aber ein weiterer Router oder der Anbieter steht davor: Freunde im Internet können wohl nicht beitreten</translation>
    </message>
    <message>
        <source>Friends can join at %1</source>
        <translation>Freunde können über %1 beitreten</translation>
    </message>
    <message>
        <source>The router did not open the port: only players on this network can join</source>
        <translation>Der Router hat den Port nicht geöffnet: Nur Spieler in diesem Netzwerk können beitreten</translation>
    </message>
</context>
<context>
    <name>Server</name>
    <message>
        <source>%1 lost the connection; the seat waits %2 seconds.</source>
        <translation>%1 hat die Verbindung verloren; der Platz wartet %2 Sekunden.</translation>
    </message>
    <message>
        <source>%1 is back</source>
        <translation>%1 ist zurück</translation>
    </message>
    <message>
        <source>Stats successfully uploaded.</source>
        <translation>Statistik erfolgreich übertragen.</translation>
    </message>
    <message>
        <source>The stats could not be sended.</source>
        <translation>Die Statistik konnte nicht übertragen werden.</translation>
    </message>
    <message>
        <source>%1 takes over for %2</source>
        <translation>%1 spielt für %2 weiter</translation>
    </message>
</context>
<context>
    <name>ServerHost</name>
    <message>
        <source>%1 is not a port number.</source>
        <translation>%1 ist keine Portnummer.</translation>
    </message>
    <message>
        <source>Cannot listen on port %1: %2</source>
        <translation>Port %1 kann nicht geöffnet werden: %2</translation>
    </message>
    <message>
        <source>Cannot receive datagrams on port %1: %2</source>
        <translation>Auf Port %1 können keine Datagramme empfangen werden: %2</translation>
    </message>
</context>
<context>
    <name>UserFolderResolver</name>
    <message>
        <source>Files of an earlier version were moved out of your home folder:
%1</source>
        <translation>Dateien einer früheren Version wurden aus deinem Home-Ordner verschoben:
%1</translation>
    </message>
</context>
</TS>
