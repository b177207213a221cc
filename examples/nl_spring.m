function nl_spring(S, r, model, u, v, a, opt, arg)
% NL_SPRING  Example of the host function for the named kinds of "NL" entries.
%
%   nl_spring(S, r, model, u, v, a, opt, arg) is called by
%   spardyn('residual', r, model, u, v, a, opt, arg) for every entry S of
%   model.NL whose "type" is a string other than "rotcenter" and "mocirc2",
%   after the module has written the observations S.vnl = c*v and
%   S.unl = c*u.  It returns nothing: the module then adds b.'*S.unl to r.
%   A function of this kind delivers its force by writing it into S.unl in
%   place, so that the module reads it back.
%
%   The toolbox ships its own nl_spring; this one is an example, kept out of
%   the default path so that it never hides the toolbox's.  Without any
%   nl_spring on the path, such an entry ends the "residual" call with
%   Octave's own error: "feval: function 'nl_spring' not found".
%
%   Kinds of this example, with their parameters in fields of the entry:
%     'linear'  f = S.k .* x
%     'cubic'   f = S.k .* x + S.k3 .* x.^3
%   with x = S.unl, the observed displacements.
%
%   Octave copies an array when a function changes it, so "S.unl = f" here
%   would change a copy the module never sees.  The module's in-place
%   product "tbbp" writes into the array itself: S.unl + I*(f - S.unl).
%
%   Example:
%     addpath(fullfile(spardyn_root, 'examples'));
%     R = sparse(1, [3 7], [1 -1], 1, 10);
%     S = nl_force_entry(R, R, 'cubic'); S.k = 1e3; S.k3 = 1e9;
%     model = nl_list_add(model, S);
  x = S.unl(:);
  switch S.type
    case 'linear'
      f = S.k .* x;
    case 'cubic'
      f = S.k .* x + S.k3 .* x.^3;
    otherwise
      error('nl_spring:kind', 'nl_spring: unknown kind "%s"', S.type);
  end
  n = numel(x);
  identity = sparse_description(speye(n));
  spardyn('tbbp', identity, f - x, S.unl);
end
