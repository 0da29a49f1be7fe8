<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>MainWindow</name>
    <message>
        <source>Help</source>
        <translation>Справка</translation>
    </message>
    <message>
        <source>Update Game</source>
        <translation>Обновить игру</translation>
    </message>
    <message>
        <source>About TarvenHOLM</source>
        <translation>О программе TarvenHOLM</translation>
    </message>
    <message>
        <source>The game has no content yet: it needs its first update from the game&apos;s server. Refresh Tab or Update Game tries again.</source>
        <translation>У игры ещё нет содержимого: ей нужно первое обновление с сервера игры. «Обновить вкладку» или «Обновить игру» попробует снова.</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Выход</translation>
    </message>
    <message>
        <source>No program on this computer opens %1. Set up a web browser and a mail program, or open the address yourself.</source>
        <translation>Ни одна программа на этом компьютере не открывает %1. Настройте браузер и почтовую программу или откройте адрес сами.</translation>
    </message>
    <message>
        <source>TarvenHOLM</source>
        <translation>TarvenHOLM</translation>
    </message>
    <message>
        <source>Navigation</source>
        <translation>Навигация</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Язык</translation>
    </message>
    <message>
        <source>Favorites</source>
        <translation>Избранное</translation>
    </message>
    <message>
        <source>Refresh Tab</source>
        <translation>Обновить вкладку</translation>
    </message>
    <message>
        <source>Open Forum</source>
        <translation>Открыть форум</translation>
    </message>
    <message>
        <source>Mail to Support</source>
        <translation>Написать в поддержку</translation>
    </message>
    <message>
        <source>Close Additional Tabs</source>
        <translation>Закрыть дополнительные вкладки</translation>
    </message>
    <message>
        <source>Open Web Site</source>
        <translation>Открыть сайт</translation>
    </message>
    <message>
        <source>View Battle</source>
        <translation>Просмотр боя</translation>
    </message>
    <message>
        <source>Toggle Full Screen</source>
        <translation>Полноэкранный режим</translation>
    </message>
    <message>
        <source>Default Size</source>
        <translation>Исходный размер</translation>
    </message>
    <message>
        <source>English</source>
        <translation>English</translation>
    </message>
    <message>
        <source>Russian</source>
        <translation>Русский</translation>
    </message>
    <message>
        <source>Unsupported Operating System</source>
        <translation>Операционная система не поддерживается</translation>
    </message>
    <message>
        <source>Could not get access to file: %1</source>
        <translation>Нет доступа к файлу: %1</translation>
    </message>
    <message>
        <source>Could not write to file: %1</source>
        <translation>Не удалось записать файл: %1</translation>
    </message>
    <message>
        <source>Enter the Battle No.:</source>
        <translation>Введите номер боя:</translation>
    </message>
</context>
<context>
    <name>UpdateDialog</name>
    <message>
        <source>Try Again</source>
        <translation>Повторить</translation>
    </message>
    <message>
        <source>The update did not finish. Cancel starts the game with the content it has; Try Again asks the server once more.</source>
        <translation>Обновление не завершено. «Отмена» запускает игру с тем содержимым, что уже есть; «Повторить» снова обращается к серверу.</translation>
    </message>
    <message>
        <source>Loading TarvenHOLM</source>
        <translation>Загрузка TarvenHOLM</translation>
    </message>
    <message>
        <source>TextLabel</source>
        <translation>Подготовка...</translation>
    </message>
    <message>
        <source>Using temporary filename [%1]</source>
        <translation>Временный файл [%1]</translation>
    </message>
    <message>
        <source>Checking for updates...</source>
        <translation>Проверка обновлений...</translation>
    </message>
    <message>
        <source>Downloading %1</source>
        <translation>Загрузка %1</translation>
    </message>
    <message>
        <source>Downloading %1 (%2Kb/%3Kb)</source>
        <translation>Загрузка %1 (%2 КБ/%3 КБ)</translation>
    </message>
    <message>
        <source>Downloading %1 (%2Kb)</source>
        <translation>Загрузка %1 (%2 КБ)</translation>
    </message>
    <message>
        <source>Could not save file: %1</source>
        <translation>Не удалось сохранить файл: %1</translation>
    </message>
    <message>
        <source>Could not download file: %1</source>
        <translation>Не удалось загрузить файл: %1</translation>
    </message>
    <message>
        <source>Could not find just downloaded data.</source>
        <translation>Не найдены только что загруженные данные.</translation>
    </message>
    <message>
        <source>Could not open just downloaded data.</source>
        <translation>Не удалось открыть только что загруженные данные.</translation>
    </message>
    <message>
        <source>Invalid server response [%1]</source>
        <translation>Неверный ответ сервера [%1]</translation>
    </message>
    <message>
        <source>Timestamp match.</source>
        <translation>Версии совпадают.</translation>
    </message>
    <message>
        <source>Updater stamp difference: server=%1 local=%2</source>
        <translation>Версии различаются: сервер=%1 локальная=%2</translation>
    </message>
    <message>
        <source>Found file to download: %1</source>
        <translation>Нужно загрузить файл: %1</translation>
    </message>
    <message>
        <source>Checking %1</source>
        <translation>Проверка %1</translation>
    </message>
    <message>
        <source>Error in file info: %1</source>
        <translation>Ошибка в описании файла: %1</translation>
    </message>
    <message>
        <source>Error in downloaded file (crc): %1</source>
        <translation>Ошибка в загруженном файле (crc): %1</translation>
    </message>
    <message>
        <source>Could not delete file [%1]</source>
        <translation>Не удалось удалить файл [%1]</translation>
    </message>
    <message>
        <source>Could not make path [%1]</source>
        <translation>Не удалось создать папку [%1]</translation>
    </message>
    <message>
        <source>Could not copy downloaded file to [%1]</source>
        <translation>Не удалось скопировать загруженный файл в [%1]</translation>
    </message>
    <message>
        <source>All files downloaded/updated.</source>
        <translation>Все файлы загружены и обновлены.</translation>
    </message>
    <message>
        <source>Update finished.</source>
        <translation>Обновление завершено.</translation>
    </message>
    <message>
        <source>Another copy of TarvenHOLM is updating; waiting until it has finished...</source>
        <translation>Другая копия TarvenHOLM сейчас обновляется; ожидание её завершения...</translation>
    </message>
    <message>
        <source>The folder for downloads [%1] is not a folder of this user; remove it to update</source>
        <translation>Папка для загрузок [%1] не принадлежит этому пользователю; удалите её, чтобы обновиться</translation>
    </message>
    <message>
        <source>The update is not signed by the game&apos;s publisher</source>
        <translation>Обновление не подписано издателем игры</translation>
    </message>
    <message>
        <source>The signed update list cannot be read</source>
        <translation>Подписанный список обновления не читается</translation>
    </message>
    <message>
        <source>The signed update is not the one announced (stamp %1 instead of %2)</source>
        <translation>Подписанное обновление не то, что объявлено (метка %1 вместо %2)</translation>
    </message>
    <message>
        <source>The update is signed by the game&apos;s publisher.</source>
        <translation>Обновление подписано издателем игры.</translation>
    </message>
    <message>
        <source>Downloaded file does not match the signed update: %1</source>
        <translation>Загруженный файл не совпадает с подписанным обновлением: %1</translation>
    </message>
    <message>
        <source>The answer from %1 is larger than %2 bytes</source>
        <translation>Ответ %1 больше %2 байт</translation>
    </message>
    <message>
        <source>The server offers no signed update: %1</source>
        <translation>Сервер не предлагает подписанного обновления: %1</translation>
    </message>
    <message>
        <source>%1/s</source>
        <translation>%1/с</translation>
    </message>
    <message>
        <source>%1, %2 left</source>
        <translation>%1, осталось %2</translation>
    </message>
</context>
<context>
    <name>Downloader</name>
    <message>
        <source>The server answered %1 %2, sending to %3</source>
        <translation>Сервер ответил %1 %2 и отправил на %3</translation>
    </message>
    <message>
        <source>The server answered %1 %2</source>
        <translation>Сервер ответил %1 %2</translation>
    </message>
    <message>
        <source>Nothing received for %1 s</source>
        <translation>Ничего не получено за %1 с</translation>
    </message>
    <message>
        <source>The answer ended after %1 of %2 bytes</source>
        <translation>Ответ оборвался после %1 из %2 байт</translation>
    </message>
</context>
<context>
    <name>MyWebPage</name>
    <message>
        <source>Loading...</source>
        <translation>Загрузка...</translation>
    </message>
    <message>
        <source>The page %1 stopped working. Refresh Tab loads it again.</source>
        <translation>Страница %1 перестала работать. «Обновить вкладку» загрузит её снова.</translation>
    </message>
    <message>
        <source>The movie %1 cannot be played: %2</source>
        <translation>Ролик %1 не может быть показан: %2</translation>
    </message>
</context>
<context>
    <name>MoviePlayer</name>
    <message>
        <source>the file does not exist</source>
        <translation>файл не существует</translation>
    </message>
    <message>
        <source>the file cannot be read (%1)</source>
        <translation>файл не читается (%1)</translation>
    </message>
    <message>
        <source>the file is not a Flash movie</source>
        <translation>файл не является Flash-роликом</translation>
    </message>
    <message>
        <source>the file is cut short (%1 of %2 bytes)</source>
        <translation>файл обрезан (%1 из %2 байт)</translation>
    </message>
</context>
<context>
    <name>AboutBox</name>
    <message>
        <source>About TarvenHOLM</source>
        <translation>О программе TarvenHOLM</translation>
    </message>
    <message>
        <source>Log file: %1</source>
        <translation>Файл журнала: %1</translation>
    </message>
    <message>
        <source>No log file is written: the diagnostic lines go to standard error only.</source>
        <translation>Файл журнала не ведётся: диагностические строки идут только в стандартный поток ошибок.</translation>
    </message>
</context>
</TS>
