// Injected into every page the client shows. Plays the page's Flash movies
// (<embed> and <object>) with Ruffle, which is loaded only when the page has
// one: a page without movies pays nothing.
(function () {
    'use strict';
    if (window.__tarvenholmMovies)
        return;
    window.__tarvenholmMovies = true;

    // Ruffle's files come from the client's own folder through its own scheme.
    // The client fills in the names it shares with this script (PageBridge).
    const ruffleBase = '%RUFFLE_BASE%';
    const netBase = '%NET_BASE%';
    const netKeys = %NET_KEYS%;
    const flashTypes = %FLASH_TYPES%.map(function (flash) { return flash.type; });
    // Ruffle will not fetch file: URLs itself; a movie's loads from the local
    // content folder are handed to it under this name and fetched here.
    const localPrefix = '%LOCAL_SCHEME%:';

    function isMovie(element) {
        const type = (element.getAttribute('type') || '').toLowerCase();
        if (flashTypes.includes(type))
            return true;
        if ((element.getAttribute('classid') || '').toLowerCase().includes('d27cdb6e-ae6d-11cf-96b8-444553540000'))
            return true;
        let source = element.getAttribute('src') || element.getAttribute('data') || '';
        if (!source && element.querySelector) {
            const parameter = element.querySelector('param[name="movie" i], param[name="src" i]');
            source = parameter ? parameter.getAttribute('value') || '' : '';
        }
        return /\.swf($|[?#])/i.test(source);
    }

    // A page of the local content folder is trusted as the Flash Player trusted
    // its folder: its movies reach the game's servers through the client. A
    // web page's movies reach other servers through it too, where a server's
    // policy file lets them (the client asks for it).
    const localContent = location.protocol === 'file:';
    function needsClient(url) {
        if (!/^https?:/i.test(url))
            return false;
        return localContent || new URL(url, location.href).origin !== location.origin;
    }

    // Where an answer of the client's came from: the net bridge follows a
    // server's redirects by redirecting itself, so its last URL names the
    // last server's. A child movie learns its own URL (and query) from it.
    function answerUrl(request, url) {
        const final = request.responseURL || url;
        if (final.startsWith(netBase))
            return new URLSearchParams(final.slice(netBase.length)).get(netKeys.url) || url;
        return final;
    }

    function fetchFromScheme(url) {
        return new Promise(function (resolve, reject) {
            const request = new XMLHttpRequest();
            request.open('GET', url);
            request.responseType = 'arraybuffer';
            request.onload = function () {
                const type = url.endsWith('.wasm') ? 'application/wasm'
                    : url.endsWith('.js') ? 'text/javascript'
                    : request.getResponseHeader('Content-Type') || 'application/octet-stream';
                const response = new Response(request.response, {status: 200, headers: {'Content-Type': type}});
                Object.defineProperty(response, 'url', {value: answerUrl(request, url)});
                resolve(response);
            };
            request.onerror = function () { reject(new TypeError('Failed to fetch ' + url)); };
            request.send();
        });
    }

    function fetchThroughClient(input, init) {
        const request = new Request(input, init);
        const bodyRead = request.method === 'GET' || request.method === 'HEAD'
            ? Promise.resolve(null) : request.arrayBuffer();
        return bodyRead.then(function (body) {
            const query = new URLSearchParams();
            query.set(netKeys.url, request.url);
            query.set(netKeys.method, request.method);
            if (body) {
                let bytes = '';
                for (const byte of new Uint8Array(body))
                    bytes += String.fromCharCode(byte);
                query.set(netKeys.body, btoa(bytes));
                query.set(netKeys.type, request.headers.get('Content-Type') || '');
            }
            return fetchFromScheme(netBase + query.toString());
        });
    }

    // The engine cannot fetch() from the client's own scheme; the same answer
    // comes through XMLHttpRequest.
    function bridgeFetch() {
        const pageFetch = window.fetch.bind(window);
        window.fetch = function (input, init) {
            const url = input instanceof Request ? input.url : String(input);
            if (url.startsWith(ruffleBase))
                return fetchFromScheme(url);
            if (url.startsWith(localPrefix)) {
                const local = 'file:' + url.slice(localPrefix.length);
                return pageFetch(input instanceof Request ? new Request(local, input) : local, init);
            }
            if (needsClient(url))
                return fetchThroughClient(input, init);
            return pageFetch(input, init);
        };
    }

    let loaded = false;
    function loadRuffle() {
        if (loaded)
            return;
        loaded = true;
        observer.disconnect();
        bridgeFetch();
        window.RufflePlayer = window.RufflePlayer || {};
        window.RufflePlayer.config = Object.assign({
            publicPath: ruffleBase,
            autoplay: 'on',             // the movie starts by itself
            unmuteOverlay: 'hidden',    // and with its sound
            splashScreen: false,
            favorFlash: false,          // the Flash Player the page sees is Ruffle itself
            letterbox: 'on',            // keeps its proportions, bars around it
            warnOnUnsupportedContent: false,
            showSwfDownload: false,
            urlRewriteRules: [[/^file:(.*)$/, localPrefix + '$1']],
            // The game's socket servers, each through the client's bridge.
            socketProxy: window.__tarvenholmSockets || [],
        }, window.RufflePlayer.config || {});
        players.observe(document.documentElement, {childList: true, subtree: true});
        const script = document.createElement('script');
        script.src = ruffleBase + 'ruffle.js';
        (document.head || document.documentElement).appendChild(script);
    }

    // fscommand(): the Flash Player's plug-in called the page's
    // <name>_DoFSCommand(command, args), <name> being the movie element's id
    // or name; Ruffle calls only handlers given to its player.
    function passFSCommands(player) {
        if (player.__tarvenholmFSCommand || typeof player.ruffle !== 'function')
            return;
        player.__tarvenholmFSCommand = true;
        player.ruffle().addFSCommandHandler(function (command, args) {
            const name = player.getAttribute('id') || player.getAttribute('name');
            const handler = name ? window[name + '_DoFSCommand'] : undefined;
            if (typeof handler === 'function')
                handler(command, args);
        });
    }
    const players = new MutationObserver(function () {
        for (const player of document.querySelectorAll('%PLAYERS%'))
            passFSCommands(player);
    });

    function scan() {
        for (const element of document.querySelectorAll('embed, object')) {
            if (isMovie(element)) {
                loadRuffle();
                return;
            }
        }
    }

    const observer = new MutationObserver(scan);
    observer.observe(document.documentElement, {childList: true, subtree: true});
    scan();
})();
