// Injected into every page before its own scripts run. Pages that embed
// movies through a detection script (swfobject and the like) first look for a
// Flash Player among the browser's plug-ins; this makes one appear there, as
// the Flash Player's plug-in did. It costs nothing more: Ruffle itself is
// loaded only when a movie appears in the page.
(function () {
    'use strict';
    if (navigator.plugins && navigator.plugins.namedItem && navigator.plugins.namedItem('Shockwave Flash'))
        return;
    const types = %FLASH_TYPES%;
    const flash = {
        name: 'Shockwave Flash',
        filename: 'ruffle.js', // the name Ruffle knows as its own: it still plays the movies
        description: 'Shockwave Flash 32.0 r0',
        version: '32.0.0.0',
        length: types.length,
        item: function (i) { return types[i] || null; },
        namedItem: function (name) { return types.find(function (t) { return t.type === name; }) || null; },
    };
    types.forEach(function (t, i) { t.enabledPlugin = flash; flash[i] = t; flash[t.type] = t; });

    // A list like the browser's, indexed by number and by name, with the
    // browser's own entries first.
    function list(own, added, key) {
        const entries = [];
        for (let i = 0; i < own.length; ++i)
            entries.push(own[i]);
        added.forEach(function (entry) { entries.push(entry); });
        const result = {
            length: entries.length,
            item: function (i) { return entries[i] || null; },
            namedItem: function (name) { return entries.find(function (e) { return e[key] === name; }) || null; },
            refresh: function () {},
        };
        entries.forEach(function (entry, i) { result[i] = entry; result[entry[key]] = entry; });
        result[Symbol.iterator] = function () { return entries[Symbol.iterator](); };
        return result;
    }
    const plugins = list(navigator.plugins || [], [flash], 'name');
    const mimeTypes = list(navigator.mimeTypes || [], types, 'type');
    Object.defineProperty(navigator, 'plugins', {get: function () { return plugins; }, configurable: true});
    Object.defineProperty(navigator, 'mimeTypes', {get: function () { return mimeTypes; }, configurable: true});
})();
