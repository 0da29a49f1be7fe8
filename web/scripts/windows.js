// Injected into the content folder's frames alone, before their own scripts,
// in their own world (Ruffle opens a movie's windows there). Tells the client
// of each window the frame opens, naming the frame, just before the engine
// asks for it: a window nobody announced comes from a frame that is not the
// content folder's, which may open one only on the player's action. The
// report carries a secret token of the page's, which no other frame has.
(function () {
    'use strict';
    if (Object.getOwnPropertyDescriptor(window, '__tarvenholmWindows'))
        return;
    Object.defineProperty(window, '__tarvenholmWindows', {value: true});
    const report = '%WINDOW_REPORT%';
    const log = console.log.bind(console);
    const open = window.open;
    const sameWindow = ['_self', '_parent', '_top'];
    function announced(url, target) {
        const name = target === undefined || target === null ? '' : String(target).toLowerCase();
        if (!sameWindow.includes(name)) {
            let href;
            try {
                href = new URL(url === undefined || url === null || url === '' ? 'about:blank' : String(url),
                               document.baseURI).href;
            } catch (e) {
                href = String(url);
            }
            log(report + location.href + ' ' + href);
        }
        return open.apply(window, arguments);
    }
    // Bound, so that its text (and the token in it) is not the page's to read.
    window.open = announced.bind(null);
})();
