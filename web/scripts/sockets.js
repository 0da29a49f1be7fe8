// Injected into every page before its own scripts run, when the game has
// socket servers: the proxies Ruffle is given for them (each with the page's
// secret for that server: a content frame's connects as the content folder,
// any other frame's by the server's socket policy, and each frame gets only
// the ones for its kind), and the browser's own WebSocket, which Ruffle uses
// for them (the client serves Ruffle so) whatever the page later puts in
// window.WebSocket: pages replace it, WebSocket emulations do.
(function () {
    'use strict';
    if (Object.getOwnPropertyDescriptor(window, '__tarvenholmSockets'))
        return;
    Object.defineProperty(window, '__tarvenholmSockets', {value: Object.freeze(%PROXIES%)});
    Object.defineProperty(window, '%WEBSOCKET%', {value: window.WebSocket});
})();
