<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>MainWindow</name>
    <message>
        <source>Help</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>Update Game</source>
        <translation>Update Game</translation>
    </message>
    <message>
        <source>About TarvenHOLM</source>
        <translation>About TarvenHOLM</translation>
    </message>
    <message>
        <source>The game has no content yet: it needs its first update from the game&apos;s server. Refresh Tab or Update Game tries again.</source>
        <translation>The game has no content yet: it needs its first update from the game&apos;s server. Refresh Tab or Update Game tries again.</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>No program on this computer opens %1. Set up a web browser and a mail program, or open the address yourself.</source>
        <translation>No program on this computer opens %1. Set up a web browser and a mail program, or open the address yourself.</translation>
    </message>
    <message>
        <source>TarvenHOLM</source>
        <translation>TarvenHOLM</translation>
    </message>
    <message>
        <source>Navigation</source>
        <translation>Navigation</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>Favorites</source>
        <translation>Favorites</translation>
    </message>
    <message>
        <source>Refresh Tab</source>
        <translation>Refresh Tab</translation>
    </message>
    <message>
        <source>Open Forum</source>
        <translation>Open Forum</translation>
    </message>
    <message>
        <source>Mail to Support</source>
        <translation>Mail to Support</translation>
    </message>
    <message>
        <source>Close Additional Tabs</source>
        <translation>Close Additional Tabs</translation>
    </message>
    <message>
        <source>Open Web Site</source>
        <translation>Open Web Site</translation>
    </message>
    <message>
        <source>View Battle</source>
        <translation>View Battle</translation>
    </message>
    <message>
        <source>Toggle Full Screen</source>
        <translation>Toggle Full Screen</translation>
    </message>
    <message>
        <source>Default Size</source>
        <translation>Default Size</translation>
    </message>
    <message>
        <source>English</source>
        <translation>English</translation>
    </message>
    <message>
        <source>Russian</source>
        <translation>Russian</translation>
    </message>
    <message>
        <source>Unsupported Operating System</source>
        <translation>Unsupported Operating System</translation>
    </message>
    <message>
        <source>Could not get access to file: %1</source>
        <translation>Could not get access to file: %1</translation>
    </message>
    <message>
        <source>Could not write to file: %1</source>
        <translation>Could not write to file: %1</translation>
    </message>
    <message>
        <source>Enter the Battle No.:</source>
        <translation>Enter the Battle No.:</translation>
    </message>
</context>
<context>
    <name>UpdateDialog</name>
    <message>
        <source>Try Again</source>
        <translation>Try Again</translation>
    </message>
    <message>
        <source>The update did not finish. Cancel starts the game with the content it has; Try Again asks the server once more.</source>
        <translation>The update did not finish. Cancel starts the game with the content it has; Try Again asks the server once more.</translation>
    </message>
    <message>
        <source>Loading TarvenHOLM</source>
        <translation>Loading TarvenHOLM</translation>
    </message>
    <message>
        <source>TextLabel</source>
        <translation>TextLabel</translation>
    </message>
    <message>
        <source>Using temporary filename [%1]</source>
        <translation>Using temporary filename [%1]</translation>
    </message>
    <message>
        <source>Checking for updates...</source>
        <translation>Checking for updates...</translation>
    </message>
    <message>
        <source>Downloading %1</source>
        <translation>Downloading %1</translation>
    </message>
    <message>
        <source>Downloading %1 (%2Kb/%3Kb)</source>
        <translation>Downloading %1 (%2Kb/%3Kb)</translation>
    </message>
    <message>
        <source>Downloading %1 (%2Kb)</source>
        <translation>Downloading %1 (%2Kb)</translation>
    </message>
    <message>
        <source>Could not save file: %1</source>
        <translation>Could not save file: %1</translation>
    </message>
    <message>
        <source>Could not download file: %1</source>
        <translation>Could not download file: %1</translation>
    </message>
    <message>
        <source>Could not find just downloaded data.</source>
        <translation>Could not find just downloaded data.</translation>
    </message>
    <message>
        <source>Could not open just downloaded data.</source>
        <translation>Could not open just downloaded data.</translation>
    </message>
    <message>
        <source>Invalid server response [%1]</source>
        <translation>Invalid server response [%1]</translation>
    </message>
    <message>
        <source>Timestamp match.</source>
        <translation>Timestamp match.</translation>
    </message>
    <message>
        <source>Updater stamp difference: server=%1 local=%2</source>
        <translation>Updater stamp difference: server=%1 local=%2</translation>
    </message>
    <message>
        <source>Found file to download: %1</source>
        <translation>Found file to download: %1</translation>
    </message>
    <message>
        <source>Checking %1</source>
        <translation>Checking %1</translation>
    </message>
    <message>
        <source>Error in file info: %1</source>
        <translation>Error in file info: %1</translation>
    </message>
    <message>
        <source>Error in downloaded file (crc): %1</source>
        <translation>Error in downloaded file (crc): %1</translation>
    </message>
    <message>
        <source>Could not delete file [%1]</source>
        <translation>Could not delete file [%1]</translation>
    </message>
    <message>
        <source>Could not make path [%1]</source>
        <translation>Could not make path [%1]</translation>
    </message>
    <message>
        <source>Could not copy downloaded file to [%1]</source>
        <translation>Could not copy downloaded file to [%1]</translation>
    </message>
    <message>
        <source>All files downloaded/updated.</source>
        <translation>All files downloaded/updated.</translation>
    </message>
    <message>
        <source>Update finished.</source>
        <translation>Update finished.</translation>
    </message>
    <message>
        <source>Another copy of TarvenHOLM is updating; waiting until it has finished...</source>
        <translation>Another copy of TarvenHOLM is updating; waiting until it has finished...</translation>
    </message>
    <message>
        <source>The folder for downloads [%1] is not a folder of this user; remove it to update</source>
        <translation>The folder for downloads [%1] is not a folder of this user; remove it to update</translation>
    </message>
    <message>
        <source>The update is not signed by the game&apos;s publisher</source>
        <translation>The update is not signed by the game&apos;s publisher</translation>
    </message>
    <message>
        <source>The signed update list cannot be read</source>
        <translation>The signed update list cannot be read</translation>
    </message>
    <message>
        <source>The signed update is not the one announced (stamp %1 instead of %2)</source>
        <translation>The signed update is not the one announced (stamp %1 instead of %2)</translation>
    </message>
    <message>
        <source>The update is signed by the game&apos;s publisher.</source>
        <translation>The update is signed by the game&apos;s publisher.</translation>
    </message>
    <message>
        <source>Downloaded file does not match the signed update: %1</source>
        <translation>Downloaded file does not match the signed update: %1</translation>
    </message>
    <message>
        <source>The answer from %1 is larger than %2 bytes</source>
        <translation>The answer from %1 is larger than %2 bytes</translation>
    </message>
    <message>
        <source>The server offers no signed update: %1</source>
        <translation>The server offers no signed update: %1</translation>
    </message>
    <message>
        <source>%1/s</source>
        <translation>%1/s</translation>
    </message>
    <message>
        <source>%1, %2 left</source>
        <translation>%1, %2 left</translation>
    </message>
</context>
<context>
    <name>Downloader</name>
    <message>
        <source>The server answered %1 %2, sending to %3</source>
        <translation>The server answered %1 %2, sending to %3</translation>
    </message>
    <message>
        <source>The server answered %1 %2</source>
        <translation>The server answered %1 %2</translation>
    </message>
    <message>
        <source>Nothing received for %1 s</source>
        <translation>Nothing received for %1 s</translation>
    </message>
    <message>
        <source>The answer ended after %1 of %2 bytes</source>
        <translation>The answer ended after %1 of %2 bytes</translation>
    </message>
</context>
<context>
    <name>MyWebPage</name>
    <message>
        <source>Loading...</source>
        <translation>Loading...</translation>
    </message>
    <message>
        <source>The page %1 stopped working. Refresh Tab loads it again.</source>
        <translation>The page %1 stopped working. Refresh Tab loads it again.</translation>
    </message>
    <message>
        <source>The movie %1 cannot be played: %2</source>
        <translation>The movie %1 cannot be played: %2</translation>
    </message>
</context>
<context>
    <name>MoviePlayer</name>
    <message>
        <source>the file does not exist</source>
        <translation>the file does not exist</translation>
    </message>
    <message>
        <source>the file cannot be read (%1)</source>
        <translation>the file cannot be read (%1)</translation>
    </message>
    <message>
        <source>the file is not a Flash movie</source>
        <translation>the file is not a Flash movie</translation>
    </message>
    <message>
        <source>the file is cut short (%1 of %2 bytes)</source>
        <translation>the file is cut short (%1 of %2 bytes)</translation>
    </message>
</context>
<context>
    <name>AboutBox</name>
    <message>
        <source>About TarvenHOLM</source>
        <translation>About TarvenHOLM</translation>
    </message>
    <message>
        <source>Log file: %1</source>
        <translation>Log file: %1</translation>
    </message>
    <message>
        <source>No log file is written: the diagnostic lines go to standard error only.</source>
        <translation>No log file is written: the diagnostic lines go to standard error only.</translation>
    </message>
</context>
</TS>
