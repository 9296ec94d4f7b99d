<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU" sourcelanguage="en_US">
<context>
    <name>CivaraPluginGuiRegistryImpl</name>
    <message>
        <source>CivaraPlugin</source>
        <translation>Циваплагин</translation>
    </message>
    <message>
        <source>Enter the token PIN 
%1%</source>
        <translation>Введите ПИН-код от токена 
%1%</translation>
    </message>
    <message>
        <source>Remember for this session with the token</source>
        <translation>Запомнить на этот сеанс работы с токеном</translation>
    </message>
    <message>
        <source>Signing the files...</source>
        <translation>Идет подписание файлов...</translation>
    </message>
    <message>
        <source>The files are signed</source>
        <translation>Файлы подписаны</translation>
    </message>
    <message>
        <source>XMLDSig signature</source>
        <translation>XMLDSig подпись</translation>
    </message>
    <message>
        <source>Attached signature</source>
        <translation>Присоединенная подпись</translation>
    </message>
    <message>
        <source>Detached signature</source>
        <translation>Отсоединенная подпись</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>Close</source>
        <translation>Закрыть</translation>
    </message>
    <message>
        <source>&amp;Allow</source>
        <translation>&amp;Разрешить</translation>
    </message>
    <message>
        <source>&amp;Deny</source>
        <translation>&amp;Запретить</translation>
    </message>
    <message>
        <source>About</source>
        <translation>О программе</translation>
    </message>
    <message>
        <source>Approved sites</source>
        <translation>Одобренные сайты</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Выход</translation>
    </message>
</context>
<context>
    <name>ZorvaPluginGuiRegistryImpl</name>
    <message>
        <source>ZorvaPlugin</source>
        <translation>ZorvaPlugin</translation>
    </message>
    <message>
        <source>Enter the user PIN of the token 
%1%</source>
        <translation>Введите ПИН пользователя от токена 
%1%</translation>
    </message>
    <message>
        <source>Remember the PIN for this session with the token</source>
        <translation>Запомнить ПИН на сеанс работы с этим токеном</translation>
    </message>
    <message>
        <source>Creating an electronic signature</source>
        <translation>Создание электронной подписи</translation>
    </message>
    <message>
        <source>Electronic signature created</source>
        <translation>Электронная подпись создана</translation>
    </message>
    <message>
        <source>XMLDSig</source>
        <translation>XMLDSig</translation>
    </message>
    <message>
        <source>attached</source>
        <translation>присоединенная</translation>
    </message>
    <message>
        <source>detached</source>
        <translation>отсоединенная</translation>
    </message>
</context>
<context>
    <name>zorva::plugin::SystemTray</name>
    <message>
        <source>The window &quot;%1&quot; awaits your answer: other windows may hide it.</source>
        <translation>Окно «%1» ждёт вашего ответа: оно может быть скрыто за другими окнами.</translation>
    </message>
    <message>
        <source>Process name: %1
Process ID: %2
Protocol: %3</source>
        <translation>Имя процесса: %1
ИД процесса: %2
Протокол: %3</translation>
    </message>
</context>
<context>
    <name>zorva::plugin::crypto</name>
    <message>
        <source>Wrong PIN. One attempt left: one more wrong PIN locks the card.</source>
        <translation>Неверный ПИН. Осталась одна попытка: ещё один неверный ПИН заблокирует карту.</translation>
    </message>
    <message>
        <source>Wrong PIN. Few attempts left.</source>
        <translation>Неверный ПИН. Осталось мало попыток.</translation>
    </message>
    <message>
        <source>Wrong PIN.</source>
        <translation>Неверный ПИН.</translation>
    </message>
    <message>
        <source>The PIN has the wrong length.</source>
        <translation>ПИН неверной длины.</translation>
    </message>
    <message>
        <source>Sign 1 document</source>
        <translation>Подписать 1 документ</translation>
    </message>
    <message numerus="yes">
        <source>Sign %n documents</source>
        <translation>
            <numerusform>Подписать %n документ</numerusform>
            <numerusform>Подписать %n документа</numerusform>
            <numerusform>Подписать %n документов</numerusform>
        </translation>
    </message>
    <message>
        <source>Sign a hash prepared by the site</source>
        <translation>Подписать хеш, подготовленный сайтом</translation>
    </message>
</context>
<context>
    <name>zorva::plugin::ui::AboutDialog</name>
    <message>
        <source>%0 links web pages to the user&apos;s workstation for electronic signature work: tokens, certificates and the documents to sign.&lt;br/&gt;&lt;br/&gt;© %1 Norvel LLC. All rights reserved.&lt;br/&gt;&lt;br/&gt;Support: &lt;a href=&quot;mailto:plugin@zorva.org&quot;&gt;plugin@zorva.org&lt;/a&gt;</source>
        <translation>%0 связывает веб-страницы с рабочим местом пользователя для работы с электронной подписью: токенами, сертификатами и подписываемыми документами.&lt;br/&gt;&lt;br/&gt;© %1 ООО «Норвел». Все права защищены.&lt;br/&gt;&lt;br/&gt;Поддержка: &lt;a href=&quot;mailto:plugin@zorva.org&quot;&gt;plugin@zorva.org&lt;/a&gt;</translation>
    </message>
</context>
<context>
    <name>zorva::plugin::ui::ApprovalDialog</name>
    <message>
        <source>%1 wants to use %2 on this computer.</source>
        <translation>%1 хочет использовать %2 на этом компьютере.</translation>
    </message>
    <message>
        <source>Deny blocks this site until you remove it from Approved sites; closing this window only answers &quot;not now&quot;.</source>
        <translation>«Запретить» блокирует этот сайт, пока вы не удалите его из списка «Одобренные сайты»; закрытие этого окна означает лишь «не сейчас».</translation>
    </message>
</context>
<context>
    <name>zorva::plugin::ui::ApprovalsDialog</name>
    <message>
        <source>&amp;Remove</source>
        <translation>&amp;Удалить</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Закрыть</translation>
    </message>
    <message>
        <source>Sites that asked to use this computer:</source>
        <translation>Сайты, которые просили доступ к этому компьютеру:</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>allowed</source>
        <translation>разрешён</translation>
    </message>
    <message>
        <source>denied</source>
        <translation>запрещён</translation>
    </message>
</context>
<context>
    <name>zorva::plugin::ui::ConsentDialog</name>
    <message>
        <source>A program on this computer</source>
        <translation>Программа на этом компьютере</translation>
    </message>
    <message>
        <source>Last attempt: a wrong PIN locks the token.</source>
        <translation>Последняя попытка: неверный ПИН заблокирует токен.</translation>
    </message>
    <message>
        <source>A wrong PIN was entered before: few attempts are left.</source>
        <translation>Ранее был введён неверный ПИН: осталось мало попыток.</translation>
    </message>
    <message>
        <source>Certificate</source>
        <translation>Сертификат</translation>
    </message>
    <message>
        <source>Sign</source>
        <translation>Подписать</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>No certificate that can sign: insert the token that holds it.</source>
        <translation>Нет сертификата для подписи: подключите токен, на котором он хранится.</translation>
    </message>
    <message>
        <source>Enter the PIN on the reader&apos;s keypad</source>
        <translation>Введите ПИН на клавиатуре считывателя</translation>
    </message>
    <message>
        <source>Checking the PIN…</source>
        <translation>Проверка ПИН…</translation>
    </message>
    <message>
        <source>%1 KiB</source>
        <translation>%1 КиБ</translation>
    </message>
    <message>
        <source>%1 MiB</source>
        <translation>%1 МиБ</translation>
    </message>
    <message>
        <source>%1 GiB</source>
        <translation>%1 ГиБ</translation>
    </message>
    <message>
        <source>%1 TiB</source>
        <translation>%1 ТиБ</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 байт</translation>
    </message>
    <message>
        <source>Document</source>
        <translation>Документ</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Размер</translation>
    </message>
    <message>
        <source>Subject</source>
        <translation>Владелец</translation>
    </message>
    <message>
        <source>Issuer</source>
        <translation>Издатель</translation>
    </message>
    <message>
        <source>Valid until</source>
        <translation>Действителен до</translation>
    </message>
    <message>
        <source> (expired)</source>
        <translation> (истёк)</translation>
    </message>
    <message>
        <source>Hash function</source>
        <translation>Хеш-функция</translation>
    </message>
    <message>
        <source>Hash</source>
        <translation>Хеш</translation>
    </message>
    <message>
        <source>Signature level %1</source>
        <translation>Уровень подписи %1</translation>
    </message>
    <message>
        <source>Signature level %1; the host will ask %2 for a timestamp</source>
        <translation>Уровень подписи %1; программа запросит штамп времени у %2</translation>
    </message>
    <message>
        <source>Signature level %1; the host will ask %2 for a timestamp and the certificates&apos; OCSP responders or CRL servers for their status</source>
        <translation>Уровень подписи %1; программа запросит штамп времени у %2, а статус сертификатов — у их служб OCSP или серверов CRL</translation>
    </message>
</context>
<context>
    <name>zorva::plugin::ui::ShownText</name>
    <message>
        <source>⚠ Some texts hold characters that change how they read or that cannot be seen: each is shown as ⟨U+…⟩.</source>
        <translation>⚠ Некоторые тексты содержат символы, которые меняют их прочтение или невидимы: каждый из них показан как ⟨U+…⟩.</translation>
    </message>
</context>
</TS>
