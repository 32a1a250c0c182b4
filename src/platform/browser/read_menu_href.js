// Read once when a pane's view asks for a context menu: the link the navigation watch
// remembered, or else the focused element's address.
(function () {
  let href = window.__pelmoraMenuHref;
  window.__pelmoraMenuHref = undefined;
  if (typeof href !== 'string') {
    const active = document.activeElement;
    href = active && typeof active.href === 'string' ? active.href : '';
  }
  return href;
})();
