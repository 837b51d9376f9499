// Hands links and, when asked to, new downloads to Tandrel through its
// native messaging host. Nothing of the browser's is cancelled until Tandrel
// has said that it took the download.
"use strict";

if (typeof importScripts === "function" && typeof leerAjustes === "undefined")
    importScripts("ajustes.js");

const HOST = "org.tandrel.tandrel";
const MENU = "tandrel-descargar";

chrome.runtime.onInstalled.addListener(() => {
    chrome.contextMenus.create({
        id: MENU,
        title: "Descargar con Tandrel",
        contexts: ["link"],
        targetUrlPatterns: ["http://*/*", "https://*/*", "ftp://*/*"],
    });
});

// The cookies the browser would send with a request for this address.
async function cabeceraCookies(direccion) {
    try {
        const cookies = await chrome.cookies.getAll({ url: direccion });
        return cookies.map((c) => c.name + "=" + c.value).join("; ");
    } catch (e) {
        return "";
    }
}

function nombreDeRuta(ruta) {
    return (ruta || "").split(/[\\/]/).pop();
}

// Tandrel's answer: {aceptada, mensaje} or {aceptada: false, error}.
async function entregar(direccion, pagina, nombre) {
    const mensaje = {
        accion: "descargar",
        direccion,
        nombre: nombre || "",
        referente: /^https?:/.test(pagina || "") ? pagina : "",
        cookies: await cabeceraCookies(direccion),
    };
    try {
        return await chrome.runtime.sendNativeMessage(HOST, mensaje);
    } catch (e) {
        return { aceptada: false, error: "No se puede hablar con Tandrel: " + e.message };
    }
}

function avisar(texto) {
    chrome.notifications.create({
        type: "basic",
        iconUrl: "icono.png",
        title: "Tandrel",
        message: texto,
    });
}

async function descargarEnlace(direccion, pagina) {
    const respuesta = await entregar(direccion, pagina, "");
    if (!respuesta || !respuesta.aceptada)
        avisar((respuesta && (respuesta.mensaje || respuesta.error)) || "Tandrel no ha tomado la descarga.");
    return respuesta;
}

chrome.contextMenus.onClicked.addListener((info, tab) => {
    if (info.menuItemId === MENU && info.linkUrl)
        descargarEnlace(info.linkUrl, info.pageUrl || (tab && tab.url));
});

// The browser's own downloads, when the options page turned the catch on.
chrome.downloads.onCreated.addListener(async (item) => {
    const direccion = item.finalUrl || item.url;
    if (!/^(https?|ftp):/.test(direccion || ""))
        return;
    const ajustes = await leerAjustes();
    const nombre = nombreDeRuta(item.filename) || nombreDeRuta(new URL(direccion).pathname);
    if (!debeCapturar(ajustes, nombre, item.totalBytes || item.fileSize || 0))
        return;
    // Held while Tandrel is asked, so that the browser does not finish a copy
    // of its own meanwhile; a refusal lets it go on.
    try {
        await chrome.downloads.pause(item.id);
    } catch (e) {
        // Already finished: handled below once Tandrel has answered.
    }
    const respuesta = await entregar(direccion, item.referrer, nombreDeRuta(item.filename));
    if (!respuesta || !respuesta.aceptada) {
        try {
            await chrome.downloads.resume(item.id);
        } catch (e) {
            // Finished before it could be held: the browser's copy stays.
        }
        return; // Tandrel is not running or refused: the browser goes on
    }
    try {
        const [ahora] = await chrome.downloads.search({ id: item.id });
        // A small file may have arrived before it could be held: Tandrel
        // has it now, so the browser's copy goes instead of staying twice.
        if (ahora && ahora.state === "complete")
            await chrome.downloads.removeFile(item.id);
        else
            await chrome.downloads.cancel(item.id);
        await chrome.downloads.erase({ id: item.id });
    } catch (e) {
        // Already gone: nothing left to cancel.
    }
});

// Only for the automatic tests: a copy of the extension that carries
// prueba.json lets a page on this machine ask for the menu's action.
async function modoPrueba() {
    try {
        const r = await fetch(chrome.runtime.getURL("prueba.json"));
        return r.ok && (await r.json()).activo === true;
    } catch (e) {
        return false;
    }
}

chrome.runtime.onMessage.addListener((mensaje, remitente, responder) => {
    if (!mensaje || mensaje.tipo !== "tandrel-prueba" || !remitente.tab)
        return false;
    modoPrueba().then(async (activo) => {
        if (!activo) {
            responder({ aceptada: false, error: "modo de prueba apagado" });
            return;
        }
        responder(await descargarEnlace(String(mensaje.enlace), remitente.tab.url));
    });
    return true;
});
