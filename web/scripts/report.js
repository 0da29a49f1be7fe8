// Injected into every page in a world of its own, which the page's scripts
// can neither see nor change. Tells the client, once per movie, when a movie
// has been loaded and its first frame drawn, naming the frame and the movie;
// each report carries the page's secret token, so a page cannot claim a movie
// is playing, and this world's location is the frame's own, whatever the page
// does to its own.
(function () {
    'use strict';
    const report = '%PLAYING_REPORT%';
    function movieUrl(player) {
        let source = player.getAttribute('src') || player.getAttribute('data') || '';
        if (!source && player.querySelector) {
            const parameter = player.querySelector('param[name="movie" i], param[name="src" i]');
            source = parameter ? parameter.getAttribute('value') || '' : '';
        }
        try {
            return new URL(source, document.baseURI).href;
        } catch (e) {
            return source;
        }
    }
    function watch(player) {
        if (player.__tarvenholmReported)
            return;
        player.__tarvenholmReported = true;
        player.addEventListener('loadeddata', function () {
            // The frame after the movie's data has been taken in is its first one drawn.
            requestAnimationFrame(function () {
                requestAnimationFrame(function () { console.log(report + location.href + ' ' + movieUrl(player)); });
            });
        }, {once: true});
    }
    new MutationObserver(function () {
        for (const player of document.querySelectorAll('%PLAYERS%'))
            watch(player);
    }).observe(document, {childList: true, subtree: true});
})();
