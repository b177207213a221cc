function yes = has_handles()
% Whether the module under test has handle objects ("chandleset" and the
% handle vectors of "residual"): the Windows x86 flavour has not.
  yes = ~strcmp(flavor(), 'win32');
end
