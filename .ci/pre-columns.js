// Added to the end of quorlant.html before Chromium renders it: every character of every <pre>
// block must sit on one grid (column times the width of a character, from the block's left
// edge), so that the chart's | marks stand under their years and the tables keep their columns.
// The outcome is left in the body's attribute data-columns; a copy of the chart is put at the
// top of the page, where the screenshot shows it.
(() => {
  const lost = [];
  let blocks = 0;
  let chart = null;
  for (const pre of document.querySelectorAll('pre')) {
    blocks++;
    if (pre.textContent.includes('year   ')) chart = pre;
    const walker = document.createTreeWalker(pre, NodeFilter.SHOW_TEXT);
    const range = document.createRange();
    let left = null;
    let width = null;
    let line = 0;
    let column = 0;
    for (let node = walker.nextNode(); node; node = walker.nextNode()) {
      for (let i = 0; i < node.data.length; i++) {
        if (node.data[i] === '\n' || node.data[i] === '\r') {
          if (node.data[i] === '\n') line++;
          column = 0;
          continue;
        }
        range.setStart(node, i);
        range.setEnd(node, i + 1);
        const box = range.getBoundingClientRect();
        if (left === null) left = box.left;
        if (width === null && box.width > 0) width = box.width;
        if (Math.abs(box.left - (left + column * width)) > 0.5) {
          lost.push(`block ${blocks} line ${line + 1} column ${column + 1}`);
        }
        column++;
      }
    }
  }
  const verdict = blocks === 0 ? 'no pre block'
                  : chart === null ? 'no chart'
                  : lost.length === 0 ? `kept in ${blocks} blocks`
                  : `lost at ${lost.slice(0, 5).join(', ')}`;
  document.body.setAttribute('data-columns', verdict);
  if (chart !== null) document.body.prepend(chart.cloneNode(true));
})();
