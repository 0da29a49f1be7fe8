// Injected into every page in a world of its own, which the page's scripts
// can neither see nor change. Tells the client which links, areas and submit
// buttons the player really activated (with the mouse or the keyboard), so
// that a page's own navigations are not taken for the player's clicks. Each
// report carries the page's secret token: the page cannot forge one.
(function () {
    'use strict';
    const report = '%CLICK_REPORT%';
    document.addEventListener('click', function (event) {
        if (!event.isTrusted)
            return;
        for (let element = event.target; element && element.nodeType === 1; element = element.parentElement) {
            const tag = element.tagName;
            if ((tag === 'A' || tag === 'AREA') && element.href) {
                console.log(report + element.href);
                return;
            }
            if ((tag === 'INPUT' || tag === 'BUTTON') && element.form
                    && (element.type === 'submit' || element.type === 'image')) {
                console.log(report + (element.formAction || element.form.action));
                return;
            }
        }
    }, true);
})();
