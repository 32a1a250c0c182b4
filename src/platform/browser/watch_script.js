// The navigation watch of the program's browser panes, run in every frame as the document is
// created (before the page's own scripts). It keeps the page from following any address outside
// the browser engine's own schemes and reports the address exactly as the page wrote it; in the
// top document it remembers the link under the pointer when a context menu is asked for; it says
// when the pointer first rests on a link that plays, and which links open a window.
// The pane fills in the two marked texts: the prefix of its messages (unique to the run) and the
// schemes whose links play (an array of "scheme:" texts).
(function () {
  'use strict';
  const send = console.debug.bind(console);
  const prefix = '@PREFIX@';
  const playing = @PLAYING@;
  const engine = ['http:', 'https:', 'file:', 'about:', 'data:', 'blob:'];
  const schemeOf = function (url) {
    const match = /^[A-Za-z][A-Za-z0-9+.-]*:/.exec(url);
    return match ? match[0].toLowerCase() : '';
  };
  if (window.navigation) {
    window.navigation.addEventListener('navigate', function (event) {
      const url = event.destination.url;
      if (engine.indexOf(schemeOf(url)) >= 0) return;
      if (event.cancelable) event.preventDefault();
      send(prefix + 'navigate ' + url);
    });
  }
  // A page's request for a new window goes to the program with its address (a link address as
  // written, a web address made whole); no window is ever made for it, so a page that asks for
  // a thousand costs nothing. The engine itself opens no window a page asks for without the
  // user's click; what reaches it with one is handed over by the pane.
  const windowAddress = function (written) {
    if (written === '' || (schemeOf(written) !== '' && engine.indexOf(schemeOf(written)) < 0)) {
      return written;
    }
    try {
      return new URL(written, document.baseURI).href;
    } catch (error) {
      return written;
    }
  };
  const announce = function (written) {
    send(prefix + 'window ' + windowAddress(written));
  };
  const open = function (url) {
    announce(url === undefined ? '' : String(url));
    return null;
  };
  window.open = open;
  // Whether a link or form target names a new window: "_blank", or a name that no frame of
  // this page has.
  const baseTarget = function () {
    const base = document.querySelector('base[target]');
    return base ? base.target : '';
  };
  const opensWindow = function (target) {
    const name = String(target || baseTarget());
    const lower = name.toLowerCase();
    if (lower === '' || lower === '_self' || lower === '_parent' || lower === '_top') return false;
    if (lower === '_blank') return true;
    try {
      const quoted = '"' + CSS.escape(name) + '"';
      return !document.querySelector('iframe[name=' + quoted + '],frame[name=' + quoted + ']');
    } catch (error) {
      return true;
    }
  };
  // The pointer on a link that plays: the program gets its player ready (once per document).
  let playHinted = false;
  window.addEventListener('pointerover', function (event) {
    if (playHinted) return;
    let target = event.target;
    if (target && target.nodeType !== 1) target = target.parentElement;
    const link = target && target.closest ? target.closest('a[href]') : null;
    const scheme = link ? schemeOf(link.getAttribute('href') || '') : '';
    if (playing.indexOf(scheme) < 0) return;
    playHinted = true;
    send(prefix + 'hover-play');
  }, true);
  window.addEventListener('click', function (event) {
    let target = event.target;
    if (target && target.nodeType !== 1) target = target.parentElement;
    const link = target && target.closest ? target.closest('a[href], area[href]') : null;
    if (!link || !opensWindow(link.target)) return;
    const address = link.href;
    if (typeof address !== 'string') return;
    event.preventDefault();
    announce(address);
  }, true);
  // A form sent to a new window: its address (with the fields, for a GET form).
  const formAddress = function (form, submitter) {
    const action = (submitter && submitter.formAction) || form.action;
    const method = String((submitter && submitter.formMethod) || form.method).toLowerCase();
    if (method !== 'get') return action;
    try {
      const url = new URL(action, document.baseURI);
      url.search = new URLSearchParams(new FormData(form)).toString();
      return url.href;
    } catch (error) {
      return action;
    }
  };
  const formTarget = function (form, submitter) {
    return (submitter && submitter.formTarget) || form.target;
  };
  window.addEventListener('submit', function (event) {
    const form = event.target;
    if (event.defaultPrevented || !form || !opensWindow(formTarget(form, event.submitter))) return;
    event.preventDefault();
    announce(formAddress(form, event.submitter));
  });
  const submit = HTMLFormElement.prototype.submit;
  HTMLFormElement.prototype.submit = function () {
    if (!opensWindow(formTarget(this, null))) return submit.call(this);
    announce(formAddress(this, null));
  };
  // A frame made by script starts with a blank document that this script never runs in: the
  // window it gives the page opens windows as this one does.
  const ownOpen = function (child) {
    try {
      if (child && child.open !== open) child.open = open;
    } catch (error) {
      // Another site's frame: it has this script of its own.
    }
    return child;
  };
  for (const kind of [HTMLIFrameElement, HTMLFrameElement]) {
    const windowGetter = Object.getOwnPropertyDescriptor(kind.prototype, 'contentWindow');
    const documentGetter = Object.getOwnPropertyDescriptor(kind.prototype, 'contentDocument');
    Object.defineProperty(kind.prototype, 'contentWindow', {
      configurable: true,
      get: function () { return ownOpen(windowGetter.get.call(this)); },
    });
    Object.defineProperty(kind.prototype, 'contentDocument', {
      configurable: true,
      get: function () {
        const child = documentGetter.get.call(this);
        if (child) ownOpen(child.defaultView);
        return child;
      },
    });
  }
  const hrefOf = function (element) {
    if (!element) return '';
    const href = element.href;
    if (typeof href === 'string') return href;
    return element.getAttribute ? element.getAttribute('href') || '' : '';
  };
  window.addEventListener('contextmenu', function (event) {
    let target = event.target;
    if (target && target.nodeType !== 1) target = target.parentElement;
    const link = target && target.closest ? target.closest('a[href], area[href]') : null;
    const href = link ? hrefOf(link) : hrefOf(document.activeElement);
    try {
      window.top.__pelmoraMenuHref = href;
    } catch (error) {
      window.__pelmoraMenuHref = href;
    }
  }, true);
})();
